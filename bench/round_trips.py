"""Round trips and time per mail, with and without PIPELINING.

A scripted SMTP server on loopback holds every batch of replies for 50 ms
before it sends it, as a server 50 ms away would be seen, and counts the
batches of each connection: the round trips the client waited for. It
offers AUTH PLAIN and 8BITMIME, and PIPELINING when asked. Replies to
commands that reach it while a batch is held join that batch, as they
would on the wire.

Each client sends mails with a user name to 1, 10 and 30 recipients, once
to a server that offers PIPELINING and once to one that does not: the
procedure through xpexec (one process sends all the mails of a row, so
its start-up is shared), and Python's smtplib, which does not pipeline,
in this process. Neither sends QUIT, so both dialogues end at the reply
to the end of data.

    /usr/bin/python3 bench/round_trips.py XPEXEC [MAILS]
"""

import os
import select
import smtplib
import socket
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "scripts"))
from capture_server import free_port  # noqa: E402

# The round trip the server plays: each batch of replies waits this long.
ROUND_TRIP_S = 0.050
RECIPIENT_COUNTS = (1, 10, 30)
USER, PASSWORD = "bench", "secret"
SENDER = "bench@example.com"
# The most one receive of the server takes.
RECEIVE_SIZE = 65536
# Bounds: one xpexec run, one read of the server, the server's lifetime.
RUN_LIMIT_S = 600
READ_LIMIT_S = 30
LIFETIME_S = 1800


class Connection:
    """The server side of one connection: its dialogue and its batches."""

    def __init__(self, sock, pipelining):
        self.sock = sock
        self.pipelining = pipelining
        self.pending = b""
        self.in_data = False
        self.in_auth = False
        self.batches = 0

    def replies(self):
        """The replies to every whole command (or message) received."""
        out = []
        while True:
            if self.in_data:
                end = self.pending.find(b"\r\n.\r\n")
                if end < 0:
                    return out
                self.pending = self.pending[end + 5:]
                self.in_data = False
                out.append(b"250 queued\r\n")
                continue
            end = self.pending.find(b"\r\n")
            if end < 0:
                return out
            line, self.pending = self.pending[:end], self.pending[end + 2:]
            out.append(self.reply_to(line))

    def reply_to(self, line):
        if self.in_auth:
            self.in_auth = False
            return b"235 ok\r\n"  # the credentials after the 334
        verb = line.split(b" ", 1)[0].upper()
        if verb in (b"EHLO", b"HELO"):
            offer = b"250-bench\r\n"
            if self.pipelining:
                offer += b"250-PIPELINING\r\n"
            return offer + b"250-8BITMIME\r\n250 AUTH PLAIN\r\n"
        if verb == b"AUTH":
            if len(line.split()) > 2:
                return b"235 ok\r\n"  # the credentials on the AUTH line
            self.in_auth = True
            return b"334 \r\n"
        if verb == b"DATA":
            self.in_data = True
            return b"354 go\r\n"
        if verb in (b"MAIL", b"RCPT", b"RSET", b"NOOP"):
            return b"250 ok\r\n"
        if verb == b"QUIT":
            return b"221 bye\r\n"
        return b"500 what\r\n"

    def receive(self, timeout):
        readable, _, _ = select.select([self.sock], [], [], timeout)
        if not readable:
            return None
        data = self.sock.recv(RECEIVE_SIZE)
        if not data:
            return None
        self.pending += data
        return data

    def send_batch(self, batch):
        # Whatever arrives while the batch is held is answered with it.
        time.sleep(ROUND_TRIP_S)
        while self.receive(0) is not None:
            batch += b"".join(self.replies())
        self.sock.sendall(batch)
        self.batches += 1

    def run(self):
        self.send_batch(b"220 bench\r\n")
        while self.receive(READ_LIMIT_S) is not None:
            batch = b"".join(self.replies())
            if batch:
                self.send_batch(batch)


class RoundTripServer:
    """The scripted server on 127.0.0.1; `.batches` per connection, in order."""

    def __init__(self, pipelining):
        self.pipelining = pipelining
        self.port = free_port()
        self.batches = []
        self._lock = threading.Lock()
        self._listener = socket.create_server(("127.0.0.1", self.port))
        self._listener.settimeout(1.0)
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._accept, daemon=True)

    def _accept(self):
        deadline = time.monotonic() + LIFETIME_S
        while not self._stop.is_set() and time.monotonic() < deadline:
            try:
                sock, _ = self._listener.accept()
            except socket.timeout:
                continue
            threading.Thread(target=self._serve, args=(sock,), daemon=True).start()

    def _serve(self, sock):
        connection = Connection(sock, self.pipelining)
        try:
            connection.run()
        except OSError:
            pass
        finally:
            sock.close()
            with self._lock:
                self.batches.append(connection.batches)

    def wait_for(self, count, timeout=READ_LIMIT_S):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            with self._lock:
                if len(self.batches) >= count:
                    return list(self.batches)
            time.sleep(0.01)
        with self._lock:
            return list(self.batches)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()
        self._listener.close()
        return False


def recipients(count):
    return ["r%d@example.com" % i for i in range(count)]


def procedure(xpexec, server, count, mails):
    statement = ("exec master..mailvane @server='127.0.0.1', @port='%d', @from='%s', "
                 "@recipients='%s', @subject='round trips', @message='Hello.', "
                 "@user='%s', @pwd='%s'"
                 % (server.port, SENDER, ";".join(recipients(count)), USER, PASSWORD))
    start = time.monotonic()
    run = subprocess.run([xpexec, "--repeat", str(mails), "-Q", statement],
                         capture_output=True, timeout=RUN_LIMIT_S)
    elapsed = time.monotonic() - start
    return elapsed, run.returncode == 0


def python_smtplib(server, count, mails):
    message = ("From: %s\r\nTo: r0@example.com\r\nSubject: round trips\r\n\r\nHello.\r\n"
               % SENDER)
    start = time.monotonic()
    ok = True
    for _ in range(mails):
        client = smtplib.SMTP("127.0.0.1", server.port, timeout=READ_LIMIT_S)
        try:
            client.login(USER, PASSWORD)
            ok = not client.sendmail(SENDER, recipients(count), message) and ok
        finally:
            client.close()  # no QUIT, as the procedure
    return time.monotonic() - start, ok


def main():
    xpexec = sys.argv[1]
    mails = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    print("server holds each batch of replies %d ms; %d mails a row, with a user name"
          % (ROUND_TRIP_S * 1000, mails))
    print("%-16s %-11s %6s %10s %18s" % ("client", "PIPELINING", "rcpts", "ms/mail",
                                         "round trips/mail"))
    for pipelining in (True, False):
        for count in RECIPIENT_COUNTS:
            for name in ("mailvane", "Python smtplib"):
                with RoundTripServer(pipelining) as server:
                    if name == "mailvane":
                        elapsed, ok = procedure(xpexec, server, count, mails)
                    else:
                        elapsed, ok = python_smtplib(server, count, mails)
                    batches = server.wait_for(mails)
                trips = "/".join(sorted({str(b) for b in batches})) or "-"
                print("%-16s %-11s %6d %10.0f %18s%s"
                      % (name, "offered" if pipelining else "not offered", count,
                         1000 * elapsed / mails, trips, "" if ok else "  FAILED"))


if __name__ == "__main__":
    main()
