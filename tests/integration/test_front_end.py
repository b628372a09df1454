"""The procedure's front end as a SQL caller meets it, through xpexec.

What the caller passes (how many parameters, which names, which values,
which SQL types) and what comes back: one message and a DONE with status 3
on failure, a DONE with status 0x11 and count 1 on success, the result, and
xpexec's exit status. Calls of one table run in one xpexec process, as one
batch, because every process start costs under Wine.

Tests that need the mail to be sent skip themselves while the mail's
operations still answer "not implemented" (0x80004001): that code comes
only from operations not built yet.
"""

import os
import re
import tempfile
import unittest

import harness

USAGE = (
    "Usage:\nexec master..mailvane\n\t{[@server =] 'server'\n"
    "\t{[[@port =] 'server port number']\n\t{[[@user =] 'user name']\n"
    "\t{[[@pwd =] 'user password']\n\t,[@recipients =] 'recipients [;...n]'\n"
    "\t,[@from =] 'from' }\n\t[,[@copy_recipients =] 'copy_recipients [;...n]'\n"
    "\t[,[@blind_copy_recipients =] 'blind_copy_recipients [;...n]'\n"
    " \t[,[@subject =] 'subject']\n\t[,[@message =] 'message']\n"
    "\t[,[@type =] 'type']\n\t[,[@attachments =] 'attachments [;...n]']\n")

SERVER_EMPTY = "@server can not be empty."
RECIPIENTS_EMPTY = "@recipients can not be empty."
FROM_EMPTY = "@from can not be empty."
FRONT_END_TEXTS = {USAGE, SERVER_EMPTY, RECIPIENTS_EMPTY, FROM_EMPTY}

NOT_IMPLEMENTED = "\t80004001"

# Every text failure: message 20001, class 1, state 1, line 252.
TEXT_LINE = 252
DONE_FAILED = 0x0003   # more | error
DONE_SENT = 0x0011     # more | count

# Where nothing listens, given a port just found free: a connection there
# is refused at once.
NOBODY = "127.0.0.1"


def exec_statement(*arguments):
    return "EXEC mailvane " + ", ".join(arguments) + "\n"


def batch(rows):
    """One batch with one EXEC per row; rows are argument lists."""
    return "".join(exec_statement(*row) for row in rows)


class FailureReport:
    """Checks that one call's tokens are a failure report; gives its text."""

    @staticmethod
    def text(test, call, line=TEXT_LINE):
        kinds = [t["token"] for t in call]
        test.assertEqual(kinds, ["message", "done", "return"], call)
        message, done, result = call
        test.assertEqual((message["type"], message["number"], message["class"],
                          message["state"], message["line"]),
                         (2, 20001, 1, 1, line), message)
        test.assertEqual((done["status"], done["curcmd"], done["count"]),
                         (DONE_FAILED, 0, 0), done)
        test.assertEqual(result["value"], 1)
        return message["text"]


class FrontEndCase(unittest.TestCase):
    def run_rows(self, rows):
        """Runs the rows in one batch; returns each call's failure text."""
        result = harness.run(batch(rows))
        calls = result.calls()
        self.assertEqual(len(calls), len(rows), result)
        return result, [FailureReport.text(self, call) for call in calls]

    def assert_texts(self, table):
        """table: (description, arguments, expected text) rows."""
        result, texts = self.run_rows([arguments for _, arguments, _ in table])
        self.assertEqual(result.exit_status, 1, result)
        for (description, _, expected), text in zip(table, texts):
            with self.subTest(description):
                self.assertEqual(text, expected)

    def skip_while_mail_is_pending(self, text):
        if text.endswith(NOT_IMPLEMENTED):
            self.skipTest("the mail's operations are not built yet: " + text)


class Usage(FrontEndCase):
    """Fewer than three parameters: only their number counts."""

    def test_fewer_than_three_parameters_get_the_usage_text(self):
        self.assert_texts([
            ("no parameter", [], USAGE),
            ("one named", ["@server = 'mail.example'"], USAGE),
            ("two named, both required ones", ["@server = 'mail.example'",
                                               "@recipients = 'ann@example.com'"], USAGE),
            ("one bare", ["'mail.example'"], USAGE),
            ("two bare", ["'mail.example'", "'ann@example.com'"], USAGE),
            ("two NULLs", ["@server = NULL", "@from = NULL"], USAGE),
            ("two unknown names", ["@colour = 'red'", "@size = 3"], USAGE),
        ])

    def test_three_parameters_are_past_the_usage_check(self):
        self.assert_texts([
            ("three NULLs", ["@server = NULL", "@recipients = NULL", "@from = NULL"],
             SERVER_EMPTY),
            ("three unknown names", ["@a = 1", "@b = 2", "@c = 3"], "Unknown parameter @a."),
        ])

    def test_human_output_shows_the_message_as_sqlcmd_does(self):
        result = harness.run("EXEC mailvane\n", tokens=False)
        self.assertEqual(result.exit_status, 1, result)
        self.assertEqual(result.stdout.decode(),
                         "Msg 20001, Level 1, State 1, Line 252\n" + USAGE + "\n")


class RequiredParameters(FrontEndCase):
    """@server, @recipients and @from, checked in that order."""

    SERVER = "@server = 'mail.example'"
    RECIPIENTS = "@recipients = 'ann@example.com'"
    FROM = "@from = 'bob@example.com'"
    SUBJECT = "@subject = 'hello'"

    def test_the_first_missing_one_is_named(self):
        self.assert_texts([
            ("none of them", [self.SUBJECT, "@message = 'x'", "@type = 'text/plain'"],
             SERVER_EMPTY),
            ("no server", [self.RECIPIENTS, self.FROM, self.SUBJECT], SERVER_EMPTY),
            ("no recipients", [self.SERVER, self.FROM, self.SUBJECT], RECIPIENTS_EMPTY),
            ("no sender", [self.SERVER, self.RECIPIENTS, self.SUBJECT], FROM_EMPTY),
            ("only a server", [self.SERVER, self.SUBJECT, "@message = 'x'"],
             RECIPIENTS_EMPTY),
            ("order of the arguments does not matter",
             [self.FROM, self.SUBJECT, self.SERVER], RECIPIENTS_EMPTY),
        ])

    def test_empty_and_null_values_count_as_missing(self):
        self.assert_texts([
            ("server ''", ["@server = ''", self.RECIPIENTS, self.FROM], SERVER_EMPTY),
            ("server NULL", ["@server = NULL", self.RECIPIENTS, self.FROM], SERVER_EMPTY),
            ("server N''", ["@server = N''", self.RECIPIENTS, self.FROM], SERVER_EMPTY),
            ("recipients ''", [self.SERVER, "@recipients = ''", self.FROM], RECIPIENTS_EMPTY),
            ("recipients NULL", [self.SERVER, "@recipients = NULL", self.FROM],
             RECIPIENTS_EMPTY),
            ("recipients N''", [self.SERVER, "@recipients = N''", self.FROM],
             RECIPIENTS_EMPTY),
            ("from ''", [self.SERVER, self.RECIPIENTS, "@from = ''"], FROM_EMPTY),
            ("from NULL", [self.SERVER, self.RECIPIENTS, "@from = NULL"], FROM_EMPTY),
        ])

    def test_bare_values_are_ignored_and_misspelled_names_refused(self):
        self.assert_texts([
            ("all three bare", ["'mail.example'", "'ann@example.com'", "'bob@example.com'"],
             SERVER_EMPTY),
            ("bare server", ["'mail.example'", self.RECIPIENTS, self.FROM], SERVER_EMPTY),
            ("misspelled server", ["@sever = 'mail.example'", self.RECIPIENTS, self.FROM],
             "Unknown parameter @sever (did you mean @server?)"),
            ("misspelled recipients", [self.SERVER, "@recipient = 'ann@example.com'",
                                       self.FROM],
             "Unknown parameter @recipient (did you mean @recipients?)"),
            ("misspelled sender", [self.SERVER, self.RECIPIENTS, "@form = 'bob@example.com'"],
             "Unknown parameter @form (did you mean @from?)"),
            ("the other mail feature's body", [self.SERVER, self.RECIPIENTS, self.FROM,
                                               "@body = N'x'"],
             "Unknown parameter @body (did you mean @message?)"),
            ("no name close", [self.SERVER, self.RECIPIENTS, self.FROM, "@colour = 'red'"],
             "Unknown parameter @colour."),
        ])

    def test_values_of_every_type_count_as_present(self):
        # N'...' and integers are values like any other: past the checks,
        # the request reaches the mail.
        # The server refuses at once, should the request get that far.
        server, port = "@server = '%s'" % NOBODY, "@port = %d" % harness.free_port()
        rows = [
            ("nvarchar server", ["@server = N'%s'" % NOBODY, port, self.RECIPIENTS,
                                 self.FROM]),
            ("nvarchar recipients", [server, port, "@recipients = N'ann@example.com'",
                                     self.FROM]),
            ("nvarchar sender", [server, port, self.RECIPIENTS, "@from = N'bob@example.com'"]),
            ("misspelled optional name", [server, port, self.RECIPIENTS, self.FROM,
                                          "@attachements = 'C:\\nothing.txt'"]),
        ]
        _, texts = self.run_rows([arguments for _, arguments in rows])
        for (description, _), text in zip(rows, texts):
            with self.subTest(description):
                self.assertNotIn(text, FRONT_END_TEXTS)


class Results(FrontEndCase):
    """What a batch of calls reports, call by call, and the exit status."""

    def test_each_call_of_a_batch_reports_on_its_own(self):
        result = harness.run(batch([[], ["@a = 1", "@b = 2", "@c = 3"], []]))
        calls = result.calls()
        self.assertEqual(len(calls), 3, result)
        self.assertEqual([FailureReport.text(self, c) for c in calls],
                         [USAGE, "Unknown parameter @a.", USAGE])
        self.assertEqual(result.returns, [1, 1, 1])
        self.assertEqual(result.exit_status, 1)

    def test_statements_that_cannot_be_parsed_run_nothing(self):
        result = harness.run("EXEC mailvane\nEXEC mailvane @server = 'unterminated\n")
        self.assertEqual(result.exit_status, 2, result)
        self.assertEqual(result.tokens, [])
        self.assertIn(b"unterminated", result.stderr)

    def test_a_failed_send_is_a_text_failure(self):
        # Nothing listens at that port: the send fails with a transport text.
        port = harness.free_port()
        result = harness.run(exec_statement(
            "@server = '%s'" % NOBODY, "@port = %d" % port,
            "@recipients = 'ann@example.com'", "@from = 'bob@example.com'"))
        (call,) = result.calls()
        text = FailureReport.text(self, call)
        self.skip_while_mail_is_pending(text)
        self.assertNotIn(text, FRONT_END_TEXTS)
        self.assertFalse(text.startswith("Error("), text)
        self.assertEqual(result.exit_status, 1)


class Delivery(FrontEndCase):
    """Calls that send: the success report, and how values arrive."""

    def send(self, server, *arguments):
        """Runs one call against `server`; returns its tokens, or skips."""
        result = harness.run(exec_statement("@server = '127.0.0.1'", *arguments))
        (call,) = result.calls()
        if call[0]["token"] == "message":
            self.skip_while_mail_is_pending(call[0]["text"])
        return result, call

    def assert_sent(self, result, call):
        self.assertEqual([t["token"] for t in call], ["done", "return"], result)
        done, returned = call
        self.assertEqual((done["status"], done["curcmd"], done["count"]), (DONE_SENT, 0, 1))
        self.assertEqual(returned["value"], 0)
        self.assertEqual(result.exit_status, 0)

    def test_a_sent_mail_gets_one_done_with_count_1_and_no_message(self):
        with harness.smtp_server() as server:
            result, call = self.send(server, "@port = '%d'" % server.port,
                                     "@recipients = 'ann@example.com'",
                                     "@from = 'bob@example.com'", "@subject = 'hello'",
                                     "@message = 'Hello, Ann.'")
            self.assert_sent(result, call)
            self.assertTrue(server.wait_for(1))
            mail = server.messages[0]
            self.assertEqual(mail.mail_from, "bob@example.com")
            self.assertEqual(mail.rcpt_tos, ["ann@example.com"])
            self.assertIn(b"Hello, Ann.", mail.data)

    def test_port_as_an_integer_is_its_number(self):
        with harness.smtp_server() as server:
            result, call = self.send(server, "@port = %d" % server.port,
                                     "@recipients = 'ann@example.com'",
                                     "@from = 'bob@example.com'")
            self.assert_sent(result, call)
            self.assertTrue(server.wait_for(1))

    def test_nvarchar_values_arrive_whole(self):
        # UTF-16 text is not cut at its first zero byte.
        with harness.smtp_server() as server:
            result, call = self.send(server, "@port = %d" % server.port,
                                     "@recipients = N'ann@example.com'",
                                     "@from = N'bob@example.com'")
            self.assert_sent(result, call)
            self.assertTrue(server.wait_for(1))
            self.assertEqual(server.messages[0].mail_from, "bob@example.com")
            self.assertEqual(server.messages[0].rcpt_tos, ["ann@example.com"])

    def test_empty_and_null_optional_values_are_alike(self):
        with harness.smtp_server() as server:
            for value in ("NULL", "''"):
                result, call = self.send(server, "@port = %d" % server.port,
                                         "@recipients = 'ann@example.com'",
                                         "@from = 'bob@example.com'",
                                         "@copy_recipients = " + value,
                                         "@blind_copy_recipients = " + value,
                                         "@subject = " + value, "@attachments = " + value)
                self.assert_sent(result, call)
            self.assertTrue(server.wait_for(2))
            for mail in server.messages:
                self.assertEqual(mail.rcpt_tos, ["ann@example.com"])
                header = mail.data.split(b"\r\n\r\n", 1)[0].lower()
                self.assertNotIn(b"\ncc:", header)
                self.assertNotIn(b"\nbcc:", header)

    def test_misspelled_parameters_are_not_read(self):
        # "@attachements" is not a parameter: the call is refused before the
        # server is contacted, and the missing file it names is never opened.
        missing = os.path.join(tempfile.gettempdir(), "mailvane-no-such-file.txt")
        with harness.smtp_server() as server:
            result, call = self.send(server, "@port = %d" % server.port,
                                     "@recipients = 'ann@example.com'",
                                     "@from = 'bob@example.com'",
                                     "@attachements = %s" % harness.sql_text(
                                         harness.procedure_path(missing)))
            self.assertEqual(FailureReport.text(self, call),
                             "Unknown parameter @attachements (did you mean @attachments?)")
            self.assertEqual(server.messages, [])


class Outcome(FrontEndCase):
    """@raise and the OUTPUT parameters, on success and on each kind of failure."""

    OUTPUTS = "@message_id = @id OUTPUT, @server_reply = @reply OUTPUT, @error = @e OUTPUT"

    @staticmethod
    def outputs(call):
        return {t["name"]: t["value"] for t in call if t["token"] == "output"}

    def test_outputs_tell_the_message_id_the_reply_and_the_error(self):
        with harness.smtp_server(refused=("nobody@example.com",)) as server:
            relay = "@server = '127.0.0.1', @port = %d, @from = 'bob@example.com'" % server.port
            result = harness.run(
                "DECLARE @id nvarchar(4000), @reply varchar(max)\n"
                + exec_statement(relay, "@recipients = 'ann@example.com'", self.OUTPUTS)
                + exec_statement(relay, "@recipients = 'nobody@example.com'", self.OUTPUTS)
                + exec_statement("@server = '%s', @port = %d" % (NOBODY, harness.free_port()),
                                 "@from = 'bob@example.com', @recipients = 'ann@example.com'",
                                 self.OUTPUTS)
                + exec_statement("@server = 'x', @recipients = 'ann@example.com'", self.OUTPUTS))
            sent, refused, unreachable, before = result.calls()
            self.assertTrue(server.wait_for(1))
            header = server.messages[0].data.split(b"\r\n\r\n", 1)[0].decode()
            message_id = re.search(r"^Message-ID: <([^>]*)>\r$", header, re.MULTILINE).group(1)
        self.assertEqual(self.outputs(sent), {
            "@id": message_id, "@reply": "250 2.0.0 Ok: queued as M00001", "@e": None})
        self.assertEqual(self.outputs(refused), {
            "@id": None, "@reply": "550 5.1.1 <nobody@example.com>: Recipient address rejected",
            "@e": "SMTP Server response code(550)"})
        self.assertEqual(self.outputs(unreachable),
                         {"@id": None, "@reply": None, "@e": unreachable[0]["text"]})
        self.assertTrue(unreachable[0]["text"].startswith("Socket"), unreachable)
        self.assertEqual(self.outputs(before), {"@id": None, "@reply": None, "@e": FROM_EMPTY})

    def test_a_short_variable_gets_what_fits(self):
        if harness.is_windows_build():
            self.skipTest("the quoted entry is in Wine's code page, not UTF-8")
        entry = "@recipients = N'\U0001F600 <ann>', @from = 'b@x', @server = 'x'"
        result = harness.run("DECLARE @n nvarchar(34), @v varchar(34)\n"
                             + exec_statement(entry, "@error = @n OUTPUT")
                             + exec_statement(entry, "@error = @v OUTPUT"))
        # 33 characters and the emoji (two UTF-16 units, four UTF-8 bytes).
        fits = 'Invalid address in @recipients: "'
        self.assertEqual([self.outputs(c) for c in result.calls()], [{"@n": fits}, {"@v": fits}])

    def test_raise_fails_the_caller_with_severity_16(self):
        result = harness.run(
            "DECLARE @rc int\nEXEC @rc = master..mailvane @server = '%s', @port = %d, "
            "@recipients = 'ann@example.com', @from = 'bob@example.com', @raise = 'yes'"
            % (NOBODY, harness.free_port()), tokens=False)
        self.assertEqual(result.exit_status, 1, result)
        self.assertTrue(result.stdout.startswith(b"Msg 20001, Level 16, State 1, Line 252\n"),
                        result.stdout)


if __name__ == "__main__":
    harness.main()
