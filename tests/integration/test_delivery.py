"""Delivery to a real SMTP server: what a call sends arrives intact.

Each test sends through xpexec to aiosmtpd on loopback and reads what
arrived with Python's email package: the header fields the call gave
(decoded), the body, the attachments by hash, the envelope recipients.
Varchar texts stay within code page 1252 so that the Windows build, whose
varchar text is in the ANSI code page, carries them unchanged too; N'...'
texts go beyond it.
"""

import csv
import email
import email.header
import email.policy
import hashlib
import html.parser
import io
import json
import os
import re
import shutil
import socket
import subprocess
import tempfile
import time
import unittest

import harness
from harness import sql_text


class N(str):
    """A value passed as N'...' (nvarchar)."""


def parse(captured):
    return email.message_from_bytes(captured.data, policy=email.policy.default)


# RFC 5322 3.6.4: msg-id of two dot-atom-texts.
ATEXT = r"[A-Za-z0-9!#$%&'*+/=?^_`{|}~-]+"
DOT_ATOM = r"%s(?:\.%s)*" % (ATEXT, ATEXT)
MESSAGE_ID = re.compile(r"^<(%s)@(%s)>$" % (DOT_ATOM, DOT_ATOM))
# Calls of the Message-ID test: threads x repeats (about 1 s on Linux, 7 s
# under Wine).
ID_LOAD = (8, 125)


def defects(msg):
    """Every defect the email package found, in any part or header."""
    found = []
    for part in msg.walk():
        found += [(part.get_content_type(), d) for d in part.defects]
        found += [(name, d) for name, value in part.items() for d in value.defects]
    return found


def mailboxes(header):
    """(display name, address) of each mailbox of an address header."""
    return [(a.display_name, a.addr_spec) for a in header.addresses]


class Cells(html.parser.HTMLParser):
    """The text of every th and td of an HTML text, row by row."""

    def __init__(self, text):
        super().__init__()
        self.rows, self.cell = [], None
        self.feed(text)

    def handle_starttag(self, tag, attrs):
        if tag == "tr":
            self.rows.append([])
        elif tag in ("th", "td"):
            self.cell = ""

    def handle_endtag(self, tag):
        if tag in ("th", "td"):
            self.rows[-1].append(self.cell)
            self.cell = None

    def handle_data(self, data):
        if self.cell is not None:
            self.cell += data


# Rows as FOR JSON PATH writes them: a null column absent from one row and
# null in another, dates, numbers, a nested alias, names with & and <.
REPORT_ROWS = [
    {"Database": "master", "State": "ONLINE", "Created": "2003-04-08", "Size MB": 5.25,
     "Log wait": None, "Owner": {"Name": "sa"}},
    {"Database": "Sales & <Marketing>", "State": "OFFLINE", "Created": "2024-02-29",
     "Size MB": 123456, "Owner": {"Name": "J\u00fcrgen \"JJ\", \u65e5\u672c"}},
]
REPORT_TABLE = [["Database", "State", "Created", "Size MB", "Log wait", "Owner.Name"],
                ["master", "ONLINE", "2003-04-08", "5.25", "", "sa"],
                ["Sales & <Marketing>", "OFFLINE", "2024-02-29", "123456", "",
                 "J\u00fcrgen \"JJ\", \u65e5\u672c"]]


def peak_kib(statement):
    """Runs xpexec (Linux) on statement; its exit status and peak resident
    memory in KiB, as /usr/bin/time reads it from the kernel (a child
    Python started itself would count Python's own pages)."""
    with tempfile.TemporaryDirectory() as folder:
        script, peak = os.path.join(folder, "call.sql"), os.path.join(folder, "peak")
        with open(script, "wb") as f:
            f.write(statement.encode("utf-8"))
        done = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", peak] + harness.XPEXEC +
                              ["--tokens", "-i", script], stdout=subprocess.DEVNULL,
                              env=dict(os.environ, **harness.FIXED_LOCALE),
                              timeout=harness.DEFAULT_TIMEOUT)
        with open(peak) as f:
            return done.returncode, int(f.read().split()[-1])


def lines(text):
    """Text with its line ends as LF, without the trailing empty lines that
    the end of data adds."""
    return text.replace("\r\n", "\n").replace("\r", "\n").rstrip("\n")


class Delivery(unittest.TestCase):
    def send(self, server, extra, host="127.0.0.1", **params):
        values = {"server": host, "port": str(server.port), "from": "sender@example.com"}
        values.update(params)
        statement = "EXEC master..mailvane " + ", ".join(
            "@%s = %s%s" % (name, "N" if isinstance(value, N) else "", sql_text(value))
            for name, value in values.items())
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
        self.assertEqual(mailboxes(msg["To"]),
                         [('Ann "The Boss" Lee', "ann@example.com"), ("", "bob@example.com")])
        self.assertEqual(mailboxes(msg["CC"]),
                         [("M\u00fcller, Jens", "jens@example.com")])
        self.assertEqual(str(msg["Subject"]), "Gr\u00fc\u00dfe: report \u20ac 5 \u2013 done")
        self.assertIsNone(msg["Bcc"])
        self.assertNotIn(b"audit@example.com", mail.data)
        self.assertNotIn(b"hidden@example.com", mail.data)
        self.assertEqual(msg.get_content_type(), "text/plain")
        self.assertEqual(lines(msg.get_content()), lines(body))

    def test_nvarchar_text_reads_back_exactly(self):
        """CJK, the euro sign and an emoji beyond U+FFFF, none of them in
        code page 1252; a varchar subject beside an nvarchar body keeps its
        own charset. The server and an attachment named beyond 1252 are
        nvarchar too."""
        text = "Gr\u00fc\u00dfe \u65e5\u672c\u8a9e \u20ac \U0001F600"
        body = "Body: " + text + "\n\u0395\u03bb\u03ad\u03bd\u03b7\n"
        with tempfile.TemporaryDirectory() as folder, harness.smtp_server() as server:
            attachment = harness.write_files(folder, {"\u65e5\u672c\u8a9e.txt": b"nihongo"})[0]
            self.assert_sent(self.send(
                server, None, host=N("127.0.0.1"), attachments=N(attachment),
                recipients=N("<J\u00fcrgen \u65e5\u672c> j@example.com"),
                copy_recipients=N('"\U0001F680 Zo\u00eb, CEO" <z@example.com>'),
                subject=N(text), message=N(body), **{"from": N("\u5c71\u7530 <y@example.com>")}))
            self.assert_sent(self.send(server, None, recipients="ann@example.com",
                                       subject="Gr\u00fc\u00dfe \u20ac", message=N(body)))
            self.assertTrue(server.wait_for(2))
            whole, mixed = server.messages[0], server.messages[1]
        msg = parse(whole)
        self.assertEqual(defects(msg), [])
        self.assertEqual(whole.rcpt_tos, ["j@example.com", "z@example.com"])
        self.assertEqual(str(msg["Subject"]), text)
        self.assertEqual(mailboxes(msg["From"]), [("\u5c71\u7530", "y@example.com")])
        self.assertEqual(mailboxes(msg["To"]), [("J\u00fcrgen \u65e5\u672c", "j@example.com")])
        self.assertEqual(mailboxes(msg["CC"]), [("\U0001F680 Zo\u00eb, CEO", "z@example.com")])
        self.assertIn(b"=?utf-8?", whole.data)
        body_part, attached = msg.iter_parts()
        self.assertEqual(body_part.get_content_charset(), "utf-8")
        self.assertEqual(lines(body_part.get_content()), lines(body))
        self.assertEqual((attached.get_filename(), attached.get_payload(decode=True)),
                         ("\u65e5\u672c\u8a9e.txt", b"nihongo"))
        msg = parse(mixed)
        varchar = "windows-1252" if harness.is_windows_build() else "utf-8"
        self.assertIn(("=?%s?" % varchar).encode(), mixed.data)
        self.assertEqual(str(msg["Subject"]), "Gr\u00fc\u00dfe \u20ac")
        self.assertEqual(msg.get_content_charset(), "utf-8")
        self.assertEqual(lines(msg.get_content()), lines(body))

    def test_comma_names_and_300_characters_read_back_exactly(self):
        long_text = ("Zo\u00eb \u0141ukasz \u65e5\u672c\u8a9e \U0001F600, caf\u00e9 " * 12)[:299] + "."
        with harness.smtp_server() as server:
            self.assert_sent(self.send(
                server, None, recipients="Lee, Ann <ann@example.com>; Bob <bob@example.com>",
                copy_recipients=N(long_text + " <z@example.com>"), subject=N(long_text)))
            self.assertTrue(server.wait_for(1))
            mail = server.messages[0]
        self.assertEqual(mail.rcpt_tos, ["ann@example.com", "bob@example.com", "z@example.com"])
        self.assertEqual(mailboxes(parse(mail)["To"]),
                         [("Lee, Ann", "ann@example.com"), ("Bob", "bob@example.com")])
        self.assertEqual(str(parse(mail)["Subject"]), long_text)
        # RFC 2047 alone: the address parser puts a space between words of a name.
        cc = email.message_from_bytes(mail.data)["CC"]
        self.assertEqual(str(email.header.make_header(email.header.decode_header(
            cc[:cc.index(" <z@")]))), long_text)
        self.assertLessEqual(max(map(len, re.findall(rb"=\?\S+?\?[BQ]\?\S*?\?=", mail.data))), 75)

    def test_nvarchar_address_beyond_ascii_is_refused(self):
        with harness.smtp_server() as server:
            result = self.send(server, None, recipients=N("j\u00fcrgen@example.com"), message="x")
            harness.assert_failed(self, result, "Error(@recipients): \t80070057")
            # The quote is message text, in the thread code page: under Wine
            # the byte of 1252, which xpexec shows escaped.
            result = self.send(server, None, recipients=N("J\u00fcrgen <>"), message="x")
            harness.assert_failed(self, result, 'Invalid address in @recipients: "J\u00fcrgen <>"')
            self.assertIn(b"J\\u00fcrgen" if harness.is_windows_build() else "J\u00fc".encode(),
                          result.stdout)
            self.assertEqual(server.messages, [])

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
                    result = self.send(server, "@trace = 'yes'" if refused else None,
                                       recipients=recipients, message="caf\u00e9", user="dba",
                                       pwd="pa ss")
                    self.assertTrue(server.auth_commands[0].initial)
                    if refused:
                        self.assertEqual(result.exit_status, 1)
                        self.assertEqual([m["text"] for m in result.messages
                                          if m["type"] == 2], ["SMTP Server response code(550)"])
                        # The pipelined batch and its replies are traced in
                        # order, each command and each reply once.
                        trace = [m["text"] for m in result.messages if m["type"] == 1]
                        batch = trace[trace.index("> MAIL FROM:<sender@example.com> BODY=8BITMIME"):]
                        self.assertEqual(batch[1:4], ["> RCPT TO:<r0@example.com>",
                                                      "> RCPT TO:<r1@example.com>",
                                                      "> RCPT TO:<r2@example.com>"])
                        self.assertEqual(sum(line.startswith("< 550") for line in batch), 1)
                        self.assertNotIn("pa ss", " ".join(trace))
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
            paths = harness.write_files(folder, files)
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

    def test_everyday_forms_read_back_as_given(self):
        """The address forms mail programs write, a sender with a name,
        non-ASCII names, a non-ASCII file name and a line of 5000 bytes."""
        # 13 characters, at least 13 bytes in any charset: over 5000 bytes.
        long_line = "Gr\u00fc\u00dfe \u20ac caf\u00e9 " * 385
        body = "Hello,\n" + long_line + "\n.last line\n"
        with tempfile.TemporaryDirectory() as folder:
            files = {"report.pdf": b"%PDF-1.4 report", "\u00dcbersicht M\u00e4rz.pdf": os.urandom(3000)}
            paths = harness.write_files(folder, files)
            with harness.smtp_server() as server:
                self.assert_sent(self.send(
                    server, None,
                    recipients='Ann Lee <ann@example.com>, "Lee, Bob" <bob@example.com>;;'
                               '<carl@example.com>',
                    copy_recipients='"M\u00fcller, Hans" <hans@example.com>',
                    blind_copy_recipients="audit@example.com, ;",
                    **{"from": "Nightly Jobs <jobs@example.com>"},
                    subject="Everyday forms", message=body, attachments=";".join(paths)))
                self.assertTrue(server.wait_for(1))
                mail = server.messages[0]
        self.assertEqual(mail.mail_from, "jobs@example.com")
        self.assertEqual(mail.rcpt_tos, ["ann@example.com", "bob@example.com", "carl@example.com",
                                         "hans@example.com", "audit@example.com"])
        msg = parse(mail)
        self.assertEqual(defects(msg), [])
        self.assertEqual(mailboxes(msg["From"]),
                         [("Nightly Jobs", "jobs@example.com")])
        self.assertEqual(mailboxes(msg["To"]),
                         [("Ann Lee", "ann@example.com"), ("Lee, Bob", "bob@example.com"),
                          ("", "carl@example.com")])
        self.assertEqual(mailboxes(msg["CC"]),
                         [("M\u00fcller, Hans", "hans@example.com")])
        self.assertRegex(msg["Message-ID"], MESSAGE_ID)
        self.assertTrue(msg["Message-ID"].endswith("@example.com>"), msg["Message-ID"])
        parts = list(msg.iter_parts())
        self.assertEqual(parts[0]["Content-Transfer-Encoding"], "quoted-printable")
        self.assertEqual(lines(parts[0].get_content()), lines(body))
        self.assertEqual([p.get_filename() for p in parts[1:]], list(files))
        for part, data in zip(parts[1:], files.values()):
            self.assertEqual(part.get_payload(decode=True), data)

    def test_double_byte_file_name_is_not_cut_at_its_second_byte(self):
        """Code page 932 (Wine takes it from a Japanese locale): the second
        byte of \u8868 is 0x5C, the path separator."""
        if not (harness.is_windows_build() and shutil.which("localedef")):
            self.skipTest("a double-byte ANSI code page needs the Windows build")
        with tempfile.TemporaryDirectory() as folder:
            # A locale of the test's own (LOCPATH); localedef warns (status
            # 1) about details of the definition that do not matter here.
            locales = os.path.join(folder, "locales")
            os.mkdir(locales)
            subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8",
                            os.path.join(locales, "ja_JP.UTF-8")],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            if not os.path.isdir(os.path.join(locales, "ja_JP.UTF-8")):
                self.skipTest("no Japanese locale can be made here")
            paths = harness.write_files(folder, {"\u8868.txt": b"hello"})
            with harness.smtp_server() as server:
                statement = ("EXEC master..mailvane @server = '127.0.0.1', @port = '%d', "
                             "@from = 'a@example.com', @recipients = 'ann@example.com', "
                             "@message = 'x', @attachments = %s" % (server.port, sql_text(paths[0])))
                japanese = {"LC_ALL": "ja_JP.UTF-8", "LANG": "ja_JP.UTF-8", "LOCPATH": locales}
                self.assert_sent(harness.run(statement, env=japanese))
                self.assertTrue(server.wait_for(1))
                msg = parse(server.messages[0])
        self.assertEqual([p.get_filename() for p in msg.iter_attachments()], ["\u8868.txt"])

    def test_message_ids_differ_across_threads(self):
        threads, repeats = ID_LOAD
        with harness.smtp_server(lifetime=300) as server:
            statement = ("EXEC master..mailvane @server = '127.0.0.1', @port = '%d', "
                         "@from = 'ids@example.com', @recipients = 'ann@example.com', "
                         "@message = 'x'" % server.port)
            result = harness.run(statement, "--threads", str(threads), "--repeat", str(repeats),
                                 timeout=240)
            self.assertEqual(result.returns, [0] * (threads * repeats), result)
            self.assertTrue(server.wait_for(threads * repeats, timeout=30))
            ids = [parse(m)["Message-ID"] for m in server.messages]
        for message_id in ids:
            self.assertRegex(message_id, MESSAGE_ID)
        self.assertEqual(len(set(ids)), threads * repeats)

    def test_attachment_that_is_no_regular_file_fails_before_its_part(self):
        with tempfile.TemporaryDirectory() as folder:
            # A directory, and a device that never ends.
            paths = [harness.procedure_path(folder), harness.procedure_path("/dev/zero")]
            if harness.is_windows_build():
                paths.append("NUL")
            else:
                # Opened for reading, a FIFO would wait for a writer forever.
                fifo = os.path.join(folder, "pipe")
                os.mkfifo(fifo)
                paths.append(fifo)
            with harness.smtp_server() as server:
                for path in paths:
                    result = self.send(server, None, recipients="ann@example.com", message="x",
                                       attachments=path)
                    self.assertEqual(result.exit_status, 1, result)
                    self.assertEqual(len(result.messages), 1, result)
                    self.assertRegex(result.messages[0]["text"],
                                     r"^Cannot open attachment file\(%s\)\(\d+\)$" % re.escape(path))
                time.sleep(0.2)
                self.assertEqual(server.messages, [])

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

    def test_report_rows_as_html_text_and_csv(self):
        rows = json.dumps(REPORT_ROWS, ensure_ascii=False)
        marks = {"importance": "HIGH", "sensitivity": "confidential",
                 "reply_to": N("Help Desk <help@example.com>")}
        with harness.smtp_server() as server:
            for extra in ({"type": "text/html", "message": N("<p>Databases:</p>")},
                          {"message": "Databases:"},
                          {"rows_attachment": N("databases \u65e5.csv")}):
                self.assert_sent(self.send(server, None, recipients="ann@example.com",
                                           rows=N(rows), **extra, **marks))
            self.assertTrue(server.wait_for(3))
            as_html, as_text, as_csv = (parse(m) for m in server.messages)
        for msg in (as_html, as_text, as_csv):
            self.assertEqual(defects(msg), [])
            self.assertEqual((msg["X-Priority"], msg["Importance"], msg["Sensitivity"]),
                             ("1", "high", "Company-Confidential"))
            self.assertEqual(mailboxes(msg["Reply-To"]), [("Help Desk", "help@example.com")])
        self.assertEqual(Cells(as_html.get_content()).rows, REPORT_TABLE)
        self.assertTrue(as_html.get_content().startswith("<p>Databases:</p><table"))
        table = lines(as_text.get_content()).split("\n")
        self.assertEqual(table[:4], [
            "Databases:", "",
            "Database            State   Created    Size MB Log wait Owner.Name",
            "------------------- ------- ---------- ------- -------- -----------------"])
        self.assertEqual(table[4], "master              ONLINE  2003-04-08    5.25 NULL     sa")
        self.assertEqual(table[-2:], ["", "(2 rows)"])
        attached = as_csv  # without a body, the attachment is the message
        self.assertEqual((attached.get_filename(), attached.get_content_type()),
                         ("databases \u65e5.csv", "text/csv"))
        text = attached.get_payload(decode=True).decode("utf-8-sig")
        self.assertEqual(list(csv.reader(io.StringIO(text, newline=""))), REPORT_TABLE)

    def test_csv_of_100000_rows_in_fixed_memory(self):
        rows = json.dumps([{"id": i, "name": "Customer %d, \"Ltd\"" % i, "city": "Z\u00fcrich",
                            "amount": "%d.%02d" % (i * 7, i % 100), "ok": i % 2 == 0,
                            "note": None if i % 3 else "x\r\ny"} for i in range(100000)],
                          ensure_ascii=False).replace("'", "''")
        head = ("EXEC master..mailvane @server = '127.0.0.1', @port = '%d', @from = 'a@example.com',"
                " @recipients = 'b@example.com', ")
        with harness.smtp_server() as server:
            statement = head % server.port + ("@message = 'x', @rows_attachment = 'rows.csv', "
                                              "@rows = N'%s'" % rows)
            # Wine's memory is not the call's, and a sanitizer keeps what
            # is freed (ASan's quarantine): there the call is only sent.
            measured = not harness.is_windows_build() and not (
                {"ASAN_OPTIONS", "TSAN_OPTIONS"} & set(os.environ))
            if not measured:
                self.assert_sent(harness.run(statement, timeout=240))
            else:
                # A call without rows holding the same text in its body: the
                # CSV and its base64 add nothing that grows with the rows.
                without = peak_kib(head % server.port + "@message = N'%s'" % rows)
                status, peak = peak_kib(statement)
                self.assertEqual((without[0], status), (0, 0))
                self.assertLess(abs(peak - without[1]), 4096, (peak, without[1]))
            self.assertTrue(server.wait_for(2 if measured else 1, timeout=60))
            msg = parse(server.messages[-1])
        text = next(msg.iter_attachments()).get_payload(decode=True).decode("utf-8-sig")
        table = list(csv.reader(io.StringIO(text, newline="")))
        self.assertEqual(len(table), 100001)
        self.assertEqual(table[0], ["id", "name", "city", "amount", "ok", "note"])
        self.assertEqual(table[99999 + 1], ["99999", 'Customer 99999, "Ltd"', "Z\u00fcrich",
                                            "699993.99", "false", "x\r\ny"])

    def test_image_shown_by_cid_goes_inline(self):
        with tempfile.TemporaryDirectory() as folder:
            paths = harness.write_files(folder, {"chart.png": b"\x89PNG chart", "data.bin": b"d"})
            with harness.smtp_server() as server:
                self.assert_sent(self.send(
                    server, None, recipients="ann@example.com", type="text/html",
                    message='<p>Load:</p><img src="cid:chart.png">', attachments=";".join(paths)))
                self.assertTrue(server.wait_for(1))
                msg = parse(server.messages[0])
        self.assertEqual(defects(msg), [])
        related, attached = msg.iter_parts()
        self.assertEqual(related.get_content_type(), "multipart/related")
        body, image = related.iter_parts()
        self.assertEqual(body.get_content_type(), "text/html")
        self.assertEqual((image["Content-ID"], image.get_content_disposition()),
                         ("<chart.png>", "inline"))
        self.assertEqual(image.get_payload(decode=True), b"\x89PNG chart")
        if not harness.is_windows_build():
            self.assertEqual(image.get_content_type(), "image/png")
        self.assertEqual((attached.get_filename(), attached.get_content_disposition()),
                         ("data.bin", "attachment"))

    def test_library_loaded_and_unloaded_around_each_send(self):
        # 50 rounds of load, authenticated send, unload; the library starts
        # no sockets while it loads or unloads, and each call cleans up
        # what it started (reload_send checks both).
        rounds = 50
        with harness.smtp_server(user="u", password="p", lifetime=300) as server:
            statement = ("EXEC master..mailvane @server = '127.0.0.1', @port = '%d', "
                         "@recipients = 'ann@example.com', @from = 'sender@example.com', "
                         "@subject = 'reload', @user = 'u', @pwd = 'p'" % server.port)
            done = subprocess.run(harness.tool_command("reload_send") + [str(rounds), statement],
                                  capture_output=True, timeout=240)
            self.assertEqual((done.returncode, done.stdout.splitlines()[0]),
                             (0, b"%d returned 0" % rounds), done.stdout + done.stderr[-500:])
            self.assertTrue(server.wait_for(rounds, timeout=30))
            self.assertEqual(len(server.messages), rounds)

    def test_thousand_loads_and_failed_calls_leave_no_handle_or_tls_slot(self):
        # A call that fails fast (the port refuses), with its trace, through
        # the library's exception state, which must go with each unload:
        # reload_send compares the handles and free TLS slots.
        rounds = 1000
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            closed_port = probe.getsockname()[1]
        statement = ("EXEC master..mailvane @server = '127.0.0.1', @port = '%d', "
                     "@recipients = 'ann@example.com', @from = 'sender@example.com', "
                     "@trace = 'yes'" % closed_port)
        started = time.monotonic()
        done = subprocess.run(harness.tool_command("reload_send") + [str(rounds), statement, "1"],
                              capture_output=True, timeout=500)
        print("%.1f s: %s" % (time.monotonic() - started, done.stdout.decode().split("\n")))
        self.assertEqual((done.returncode, done.stdout.splitlines()[0]),
                         (0, b"%d returned 1" % rounds), done.stdout + done.stderr[-500:])


if __name__ == "__main__":
    harness.main()
