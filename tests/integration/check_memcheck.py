"""xpexec under valgrind's memcheck: a mail with attachments, sent plain and
with AUTH PLAIN to aiosmtpd, leaves no memory error and no leak.

    check_memcheck.py VALGRIND XPEXEC

Runs by ctest in the plain Linux build only (valgrind cannot run the
Windows build, and a sanitizer build brings its own checker). Every
memcheck error fails the run (a definite or indirect leak among them),
with its own exit status so it cannot pass for a failed call; the
procedure library is loaded by xpexec as in every other test, and its
reports are kept in the test's output.
"""

import os
import sys
import tempfile
import unittest

import harness
from harness import sql_text

# Not an exit status xpexec gives (0, 1, 2).
MEMCHECK_ERROR_STATUS = 99
# Valgrind makes a run some twenty times slower.
MEMCHECK_TIMEOUT = 240.0

VALGRIND = "valgrind"
XPEXEC = "xpexec"


def memcheck_command():
    return [VALGRIND, "--quiet", "--error-exitcode=%d" % MEMCHECK_ERROR_STATUS,
            "--leak-check=full", "--errors-for-leak-kinds=definite,indirect",
            "--show-leak-kinds=definite,indirect", "--track-origins=yes", XPEXEC]


class Memcheck(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory(prefix="mailvane-memcheck-")
        self.paths = []
        # A text file, a binary one across several encoder chunks, an empty one.
        for name, data in (("notes.txt", b"line one\r\nline two\r\n" * 200),
                           ("blob.bin", bytes(range(256)) * 160),
                           ("empty.dat", b"")):
            path = os.path.join(self.folder.name, name)
            with open(path, "wb") as f:
                f.write(data)
            self.paths.append(path)

    def tearDown(self):
        self.folder.cleanup()

    def send(self, server, **extra):
        values = {"server": "127.0.0.1", "port": str(server.port),
                  "from": "sender@example.com",
                  "recipients": "<Ann Lee> ann@example.com;bob@example.com",
                  "copy_recipients": "<M\u00fcller, Jens> jens@example.com",
                  "blind_copy_recipients": "audit@example.com",
                  "subject": "Memcheck \u00e9t\u00e9 report",
                  "message": "Dear team,\n\nthe files are attached.\n",
                  "attachments": ";".join(self.paths)}
        values.update(extra)
        statement = "EXEC master..mailvane " + ", ".join(
            "@%s = %s" % (name, sql_text(value)) for name, value in values.items())
        harness.XPEXEC = memcheck_command()
        return harness.run(statement, timeout=MEMCHECK_TIMEOUT)

    def assert_clean_delivery(self, result, server):
        report = result.stderr.decode("utf-8", "replace")
        self.assertNotEqual(result.exit_status, MEMCHECK_ERROR_STATUS, "memcheck:\n" + report)
        self.assertEqual(result.exit_status, 0, report)
        self.assertEqual(result.returns, [0], result)
        self.assertTrue(server.wait_for(1))
        self.assertEqual(len(server.messages), 1)
        self.assertIn(b"blob.bin", server.messages[0].data)

    def test_plain_send_with_attachments(self):
        with harness.smtp_server() as server:
            self.assert_clean_delivery(self.send(server), server)

    def test_authenticated_send_with_attachments(self):
        with harness.smtp_server(user="dba", password="pa ss") as server:
            result = self.send(server, user="dba", pwd="pa ss")
            self.assert_clean_delivery(result, server)
            self.assertEqual(server.messages[0].login, "dba")

    def test_refused_login_frees_everything_too(self):
        with harness.smtp_server(user="dba", password="right") as server:
            result = self.send(server, user="dba", pwd="wrong")
        report = result.stderr.decode("utf-8", "replace")
        self.assertNotEqual(result.exit_status, MEMCHECK_ERROR_STATUS, "memcheck:\n" + report)
        self.assertEqual(result.exit_status, 1, report)


if __name__ == "__main__":
    VALGRIND, XPEXEC = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]], verbosity=2)
