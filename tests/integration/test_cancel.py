"""A call whose client gives up on it (xpexec --cancel-after raises the
attention, as a Cancel or KILL does) returns within half a second of it,
wherever it waits, with "Call cancelled"; the connection is closed and no
end of data reaches the server, so nothing is delivered. Once the end of
data is out the reply is still waited for, and reported.
"""

import os
import socket
import tempfile
import time
import unittest

import harness
from harness import sql_text

CANCEL_AFTER = "1000"
# What a slow relay reads of the message, and what it is sent: far more
# than it reads before the cancel.
SLOW_READER_RATE = 64 * 1024
BIG_ATTACHMENT = 256 * 1024 * 1024
# How long a server waits for the client's close to reach it.
CLOSE_WAIT = 5.0


def statement(port, **extra):
    params = [("server", "127.0.0.1"), ("port", str(port)), ("recipients", "ann@example.com"),
              ("from", "reports@example.com"), ("subject", "cancel"), ("message", "body\n")]
    return "EXEC master..mailvane " + ", ".join(
        "@%s = %s" % (name, sql_text(value)) for name, value in params + list(extra.items()))


class SilentListener:
    """A listener that never accepts. With `full` its backlog is filled
    first, so that a further connect gets no answer to its SYN (`.silent`
    says whether the platform drops it rather than refusing)."""

    def __init__(self, full=False):
        self.sock = socket.create_server(("127.0.0.1", 0), backlog=0 if full else 8)
        self.port = self.sock.getsockname()[1]
        self.fillers, self.silent = [], False
        while full and not self.silent and len(self.fillers) < 16:
            filler = socket.socket()
            filler.settimeout(0.2)
            try:
                filler.connect(("127.0.0.1", self.port))
                self.fillers.append(filler)
            except OSError:
                filler.close()
                self.silent = True

    def client_closed(self):
        """Accepts the call's connection: True when the client has closed it."""
        self.sock.settimeout(CLOSE_WAIT)
        connection, _ = self.sock.accept()
        with connection:
            connection.settimeout(CLOSE_WAIT)
            try:
                return connection.recv(1) == b""
            except ConnectionResetError:
                return True

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        for s in self.fillers + [self.sock]:
            s.close()
        return False


def wait_closed(server):
    deadline = time.monotonic() + CLOSE_WAIT
    while not server.closed_at and time.monotonic() < deadline:
        time.sleep(0.05)
    return bool(server.closed_at)


class Cancelled(unittest.TestCase):
    def test_connect_and_greeting_stop(self):
        with SilentListener() as listener:
            harness.assert_cancelled(self, harness.run(statement(listener.port),
                                                       "--cancel-after", CANCEL_AFTER),
                                     "awaiting the greeting")
            self.assertTrue(listener.client_closed())
        with SilentListener(full=True) as listener:
            if not listener.silent:
                self.skipTest("this platform refuses instead of dropping connects")
            harness.assert_cancelled(self, harness.run(statement(listener.port),
                                                       "--cancel-after", CANCEL_AFTER),
                                     "connecting to an address that drops SYNs")

    def test_replies_and_the_message_stop_without_an_end_of_data(self):
        with tempfile.TemporaryDirectory(prefix="mailvane-cancel-") as folder:
            big = os.path.join(folder, "big.bin")
            with open(big, "wb") as f:
                f.truncate(BIG_ATTACHMENT)  # sparse: made at once, read as zeros
            rows = [("awaiting the reply to RCPT", dict(silent_after_rcpt=True), {}),
                    ("sending 256 MiB to a 64 KiB/s reader", dict(data_rate=SLOW_READER_RATE),
                     {"attachments": harness.procedure_path(big)})]
            for what, behaviour, extra in rows:
                with self.subTest(what), harness.smtp_server(**behaviour) as server:
                    harness.assert_cancelled(self, harness.run(statement(server.port, **extra),
                                                               "--cancel-after", CANCEL_AFTER),
                                             what)
                    self.assertTrue(wait_closed(server))
                    self.assertEqual(server.messages, [])

    def test_cancel_after_the_end_of_data_waits_for_the_reply(self):
        with harness.smtp_server(end_of_data_delay=3.0) as server:
            result = harness.run(statement(server.port), "--cancel-after", "1500")
            self.assertEqual(result.exit_status, 0, result)
            self.assertEqual(result.messages, [])
            self.assertIsNotNone(result.attention, result)
            self.assertTrue(server.wait_for(1))


if __name__ == "__main__":
    harness.main()
