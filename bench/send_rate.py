"""Sends per second and latency per send, plain and authenticated.

xpexec runs one EXEC statement many times on one thread, as one SQL Server
worker would, against servers on loopback: Postfix's smtp-sink (plain only:
it answers AUTH with 250 without checking anything) and aiosmtpd with and
without AUTH PLAIN (a real credential check, but a Python server, so the
server sets the pace there).

    /usr/bin/python3 bench/send_rate.py XPEXEC [SENDS]
"""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "scripts"))
from capture_server import CaptureServer, free_port  # noqa: E402


def statement(port, extra=""):
    return ("exec master..mailvane @server='127.0.0.1', @port='%d', @from='a@example.com', "
            "@recipients='b@example.com;<Carl> c@example.com', @subject='rate', "
            "@message='Hello.'%s" % (port, extra))


def measure(label, xpexec, sends, stmt):
    start = time.monotonic()
    run = subprocess.run([xpexec, "--repeat", str(sends), "-Q", stmt], capture_output=True,
                         timeout=600)
    elapsed = time.monotonic() - start
    status = "ok" if run.returncode == 0 else "FAILED (exit %d)" % run.returncode
    print("%-26s %5d sends %8.1f sends/s %8.2f ms/send  %s"
          % (label, sends, sends / elapsed, 1000 * elapsed / sends, status))


def main():
    xpexec = sys.argv[1]
    sends = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    port = free_port()
    sink = subprocess.Popen(["smtp-sink", "-u", "nobody", "127.0.0.1:%d" % port, "100"])
    try:
        time.sleep(0.5)
        measure("smtp-sink, plain", xpexec, sends, statement(port))
    finally:
        sink.kill()
        sink.wait()
    with CaptureServer() as server:
        measure("aiosmtpd, plain", xpexec, sends, statement(server.port))
    with CaptureServer(user="bench", password="secret") as server:
        measure("aiosmtpd, AUTH PLAIN", xpexec, sends,
                statement(server.port, ", @user='bench', @pwd='secret'"))


if __name__ == "__main__":
    main()
