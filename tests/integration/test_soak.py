"""Many calls at once: xpexec runs one EXEC on many threads, each several
times, against aiosmtpd on loopback; every call must succeed and every
mail arrive exactly once and intact.

The calls are all the same statement, so the mails are identical: the
check is that the server counted exactly threads x repeats of them, each
with the header, body and attachments (by hash) the statement gave, and
that xpexec reported as many successes and no message. On Linux 32 threads
send 20 mails each (640); under Wine, where each send costs far more, 8
threads send 5 each, so that the suite stays fast.
"""

import email
import email.policy
import hashlib
import os
import tempfile
import time
import unittest

import harness
from harness import sql_text

LINUX_LOAD = (32, 20)
WINE_LOAD = (8, 5)
# The whole run, start-up included, stays well under a minute on Linux.
RUN_LIMIT_S = 240


def load():
    return WINE_LOAD if harness.is_windows_build() else LINUX_LOAD


class Soak(unittest.TestCase):
    def test_every_call_delivers_one_intact_mail(self):
        threads, repeats = load()
        calls = threads * repeats
        with tempfile.TemporaryDirectory() as folder:
            files = {
                "report.csv": b"id;value\r\n1;2\r\n.3;4\r\n",
                "image.bin": os.urandom(20011),
                "notes.txt": "caf\u00e9\r\n".encode("cp1252") * 300,
            }
            paths = harness.write_files(folder, files)
            body = "Soak body line one.\r\n.dot line\r\nlast line"
            statement = "EXEC master..mailvane " + ", ".join([
                "@server = '127.0.0.1'",
                "@port = %s",
                "@from = 'soak@example.com'",
                "@recipients = 'ann@example.com;<Bob> bob@example.com'",
                "@blind_copy_recipients = 'audit@example.com'",
                "@subject = 'soak test'",
                "@message = %s" % sql_text(body),
                "@attachments = %s" % sql_text(";".join(paths)),
            ])
            with harness.smtp_server(lifetime=RUN_LIMIT_S + 30) as server:
                started = time.monotonic()
                result = harness.run(statement % sql_text(str(server.port)),
                                     "--threads", str(threads), "--repeat", str(repeats),
                                     timeout=RUN_LIMIT_S)
                elapsed = time.monotonic() - started
                arrived = server.wait_for(calls, timeout=30)
                # Anything beyond the count would come in late.
                time.sleep(0.5)
                captured = list(server.messages)
        print("\n%d threads x %d calls: %.1f s, %.0f mails/s" %
              (threads, repeats, elapsed, calls / elapsed))

        self.assertEqual(result.exit_status, 0, result)
        self.assertEqual(result.messages, [], result)
        self.assertEqual(result.returns, [0] * calls)
        self.assertEqual(len(result.dones), calls)
        self.assertTrue(arrived, "%d of %d mails arrived" % (len(captured), calls))
        self.assertEqual(len(captured), calls)

        hashes = {name: hashlib.sha256(data).hexdigest() for name, data in files.items()}
        for index, mail in enumerate(captured):
            with self.subTest(mail=index):
                self.assertEqual(mail.mail_from, "soak@example.com")
                self.assertEqual(sorted(mail.rcpt_tos),
                                 ["ann@example.com", "audit@example.com", "bob@example.com"])
                msg = email.message_from_bytes(mail.data, policy=email.policy.default)
                self.assertEqual(msg["Subject"], "soak test")
                parts = list(msg.iter_parts())
                self.assertEqual(len(parts), 1 + len(files))
                text = parts[0].get_content().replace("\r\n", "\n").rstrip("\n")
                self.assertEqual(text, body.replace("\r\n", "\n"))
                got = {p.get_filename(): hashlib.sha256(p.get_payload(decode=True)).hexdigest()
                       for p in parts[1:]}
                self.assertEqual(got, hashes)
        # Identical mails: their bytes differ only in the Date and
        # Message-ID lines and the boundary, so they come in very few
        # shapes; a torn or doubled write would make one of its own.
        shapes = set()
        for mail in captured:
            lines = [l for l in mail.data.split(b"\r\n")
                     if not l.startswith((b"Date:", b"Message-ID:"))]
            boundary = email.message_from_bytes(mail.data).get_boundary().encode()
            shapes.add(b"\r\n".join(lines).replace(boundary, b"B"))
        self.assertEqual(len(shapes), 1)


if __name__ == "__main__":
    harness.main()
