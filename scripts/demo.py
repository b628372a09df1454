"""The demo: one mail sent through the procedure to a local SMTP server.

Starts a recording SMTP server on 127.0.0.1 with AUTH PLAIN, runs one EXEC
statement through xpexec (the stand-in host that loads the procedure library
as SQL Server does), and shows what the client was told and what the server
received. Run by scripts/demo.sh; needs /usr/bin/python3 with aiosmtpd.
"""

import email
import email.policy
import os
import subprocess
import sys
import textwrap

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from capture_server import CaptureServer  # noqa: E402

USER, PASSWORD = "dba", "s3cret"


def section(title):
    print()
    print("\033[1m== %s\033[0m" % title if sys.stdout.isatty() else "== %s" % title)


def main():
    xpexec = sys.argv[1]
    with CaptureServer(user=USER, password=PASSWORD, lifetime=60) as server:
        statement = textwrap.dedent("""\
            EXEC master..mailvane
                @server = '127.0.0.1', @port = '%d',
                @user = '%s', @pwd = '%s',
                @from = 'reports@example.com',
                @recipients = '<Ann Example> ann@example.com;bob@example.com',
                @copy_recipients = '<Carl> carl@example.com',
                @blind_copy_recipients = 'audit@example.com',
                @subject = 'Nightly report: 3 jobs ran, 1 failed \u2013 Grüße',
                @message = '<html><body><h1>Nightly report</h1>
            <p>Backup <b>ok</b>, index rebuild <b>ok</b>, ETL <b style="color:red">failed</b>.</p>
            </body></html>',
                @type = 'text/html'
            """) % (server.port, USER, PASSWORD)
        section("The statement")
        print(statement)

        section("What the client was told (xpexec, as sqlcmd would show it)")
        run = subprocess.run([xpexec, "-Q", statement], capture_output=True, text=True, timeout=60)
        print(run.stdout.rstrip() or "(nothing)")
        if run.stderr.strip():
            print(run.stderr.rstrip())
        print("xpexec exit status: %d" % run.returncode)

        if run.returncode != 0 or not server.wait_for(1, timeout=10):
            print("\nThe server received no mail.")
            return 1
        mail = server.messages[0]

        section("What the server received: the envelope")
        print("AUTH PLAIN as: %s" % mail.login)
        print("MAIL FROM:     %s" % mail.mail_from)
        for rcpt in mail.rcpt_tos:
            print("RCPT TO:       %s" % rcpt)

        section("What the server received: the message, byte for byte")
        print(mail.data.decode("utf-8", "replace").replace("\r\n", "\n").rstrip())

        section("The message as a mail reader decodes it")
        parsed = email.message_from_bytes(mail.data, policy=email.policy.default)
        for name in ("From", "To", "CC", "Subject", "Date"):
            print("%-8s %s" % (name + ":", parsed[name]))
        print("Bcc:     (none in the header: audit@example.com is only in the envelope)")
        print("Body:    %s, %d characters" % (parsed.get_content_type(), len(parsed.get_content())))
    return 0


if __name__ == "__main__":
    sys.exit(main())
