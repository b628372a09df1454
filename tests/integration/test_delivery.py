"""Delivery to a real SMTP server: what a call sends arrives intact.

Each test sends through xpexec to aiosmtpd on loopback and reads what
arrived with Python's email package: the header fields the call gave
(decoded), the body, the attachments by hash, the envelope recipients.
Texts stay within code page 1252 so that the Windows build, whose varchar
text is in the ANSI code page, carries them unchanged too.
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


def parse(captured):
    return email.message_from_bytes(captured.data, policy=email.policy.default)


def lines(text):
    """Text with its line ends as LF, without the trailing empty lines that
    the end of data adds."""
    return text.replace("\r\n", "\n").replace("\r", "\n").rstrip("\n")


class Delivery(unittest.TestCase):
    def send(self, server, extra, **params):
        values = {"server": "127.0.0.1", "port": str(server.port), "from": "sender@example.com"}
        values.update(params)
        statement = "EXEC master..mailvane " + ", ".join(
            "@%s = %s" % (name, sql_text(value)) for name, value in values.items())
        if extra:
            statement += ", " + extra
        return harness.run(statement)

    def assert_sent(self, result):
        self.assertEqual(result.exit_status, 0, result)
        self.assertEqual(result.messages, [], result)
        self.assertEqual(result.dones, [{"token": "done", "status": 0x11, "curcmd": 0, "count": 1}])

    def test_header_body_and_envelope_arrive_as_given(self):
        body = "Dear team,\n\n.a line that starts with a dot\n..and two\nCost: 5 \u20ac, caf\u00e9.\n"
        with harness.smtp_server() as server:
            result = self.send(
                server, None,
                recipients="<Ann \"The Boss\" Lee> ann@example.com;bob@example.com",
                copy_recipients="<M\u00fcller, Jens> jens@example.com",
                blind_copy_recipients="audit@example.com;<Hidden> hidden@example.com",
                subject="Gr\u00fc\u00dfe: report \u20ac 5 \u2013 done",
                message=body)
            self.assert_sent(result)
            self.assertTrue(server.wait_for(1))
            mail = server.messages[0]
        self.assertEqual(mail.mail_from, "sender@example.com")
        # Every envelope recipient once, in the order To, Cc, Bcc.
        self.assertEqual(mail.rcpt_tos, ["ann@example.com", "bob@example.com", "jens@example.com",
                                         "audit@example.com", "hidden@example.com"])
        msg = parse(mail)
        self.assertEqual(msg["From"], "sender@example.com")
        self.assertEqual([(a.display_name, a.addr_spec) for a in msg["To"].addresses],
                         [('Ann "The Boss" Lee', "ann@example.com"), ("", "bob@example.com")])
        self.assertEqual([(a.display_name, a.addr_spec) for a in msg["CC"].addresses],
                         [("M\u00fcller, Jens", "jens@example.com")])
        self.assertEqual(str(msg["Subject"]), "Gr\u00fc\u00dfe: report \u20ac 5 \u2013 done")
        self.assertIsNone(msg["Bcc"])
        self.assertNotIn(b"audit@example.com", mail.data)
        self.assertNotIn(b"hidden@example.com", mail.data)
        self.assertEqual(msg.get_content_type(), "text/plain")
        self.assertEqual(lines(msg.get_content()), lines(body))

    def test_html_body(self):
        page = "<html><body><p>Hello, <b>world</b>.</p></body></html>"
        with harness.smtp_server() as server:
            self.assert_sent(self.send(server, None, recipients="ann@example.com",
                                       message=page, type="TEXT/HTML"))
            self.assertTrue(server.wait_for(1))
            msg = parse(server.messages[0])
        self.assertEqual(msg.get_content_type(), "text/html")
        self.assertEqual(lines(msg.get_content()), page)

    def test_authenticated_send_is_quick(self):
        with harness.smtp_server() as plain_server:
            start = time.monotonic()
            self.assert_sent(self.send(plain_server, None, recipients="ann@example.com",
                                       message="plain"))
            plain = time.monotonic() - start
        with harness.smtp_server(user="dba", password="pa ss") as server:
            start = time.monotonic()
            self.assert_sent(self.send(server, None, recipients="ann@example.com",
                                       message="signed in", user="dba", pwd="pa ss"))
            authenticated = time.monotonic() - start
            self.assertTrue(server.wait_for(1))
            self.assertEqual(server.messages[0].login, "dba")
        # The EHLO drain ends with the reply's last line, not after 5 s.
        self.assertLess(authenticated - plain, 1.0, (plain, authenticated))

    def test_pipelined_delivery_and_a_refused_recipient(self):
        # aiosmtpd pipelined, with 8BITMIME: PLAIN rides on the AUTH line,
        # MAIL FROM announces the 8-bit body, and a refused recipient among
        # the others stops the mail for all of them. 150 recipients go out
        # in two writes.
        recipients = ";".join("r%d@example.com" % i for i in range(150))
        for refused in ((), ("r3@example.com",)):
            with self.subTest(refused=refused):
                with harness.smtp_server(user="dba", password="pa ss", pipelining=True,
                                         refused=refused) as server:
                    result = self.send(server, None, recipients=recipients,
                                       message="caf\u00e9", user="dba", pwd="pa ss")
                    self.assertTrue(server.auth_commands[0].initial)
                    if refused:
                        self.assertEqual(result.exit_status, 1)
                        self.assertEqual([m["text"] for m in result.messages],
                                         ["SMTP Server response code(550)"])
                        time.sleep(0.2)
                        self.assertEqual(server.messages, [])
                        continue
                    self.assert_sent(result)
                    self.assertTrue(server.wait_for(1))
                    mail = server.messages[0]
                self.assertEqual(mail.rcpt_tos, recipients.split(";"))
                self.assertEqual(mail.mail_options, ["BODY=8BITMIME"])
                self.assertEqual(lines(parse(mail).get_content()), "caf\u00e9")

    def test_wrong_password_is_refused_with_the_servers_code(self):
        with harness.smtp_server(user="dba", password="right") as server:
            result = self.send(server, None, recipients="ann@example.com", message="x",
                               user="dba", pwd="wrong")
            self.assertEqual(result.exit_status, 1)
            self.assertEqual([m["text"] for m in result.messages],
                             ["SMTP Server response code(535)"])
            self.assertEqual(server.messages, [])

    def test_attachments_arrive_in_order_and_intact(self):
        with tempfile.TemporaryDirectory() as folder:
            files = {
                "notes.txt": b"line one\r\nline two\r\n.dot line\r\n",
                "blob.bin": os.urandom(200003),
                "empty.dat": b"",
            }
            paths = []
            for name, data in files.items():
                path = os.path.join(folder, name)
                with open(path, "wb") as f:
                    f.write(data)
                paths.append(harness.procedure_path(path))
            with harness.smtp_server() as server:
                self.assert_sent(self.send(server, None, recipients="ann@example.com",
                                           message="Three files attached.",
                                           attachments=";".join(paths)))
                self.assertTrue(server.wait_for(1))
                msg = parse(server.messages[0])
        self.assertEqual(msg.get_content_type(), "multipart/mixed")
        parts = list(msg.iter_parts())
        self.assertEqual(len(parts), 4)
        self.assertEqual(lines(parts[0].get_content()), "Three files attached.")
        for part, (name, data) in zip(parts[1:], files.items()):
            self.assertEqual(part.get_filename(), name)
            self.assertEqual(part.get_content_type(), "application/octet-stream")
            self.assertEqual(part["Content-Transfer-Encoding"], "base64")
            self.assertEqual(hashlib.sha256(part.get_payload(decode=True)).hexdigest(),
                             hashlib.sha256(data).hexdigest(), name)

    def test_missing_attachment_fails_naming_the_file_and_delivers_nothing(self):
        with tempfile.TemporaryDirectory() as folder:
            missing = harness.procedure_path(os.path.join(folder, "missing.csv"))
            with harness.smtp_server() as server:
                result = self.send(server, None, recipients="ann@example.com", message="x",
                                   attachments=missing)
                self.assertEqual(result.exit_status, 1)
                texts = [m["text"] for m in result.messages]
                self.assertEqual(len(texts), 1, result)
                self.assertIn(missing, texts[0])
                time.sleep(0.2)
                self.assertEqual(server.messages, [])


if __name__ == "__main__":
    harness.main()
