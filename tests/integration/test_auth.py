"""Authentication against aiosmtpd offering what real servers offer.

A server that offers only LOGIN and XOAUTH2 gets LOGIN without "@auth";
one that offers only GSSAPI and NTLM gets no credential and a text that
names them; XOAUTH2 (with a token too long for the AUTH line) and
OAUTHBEARER deliver; a refused token gets the error challenge answered
and fails with the server's 535 at once.
"""

import time
import unittest

import harness
from harness import sql_text

USER = "reports@example.com"
PASSWORD = "pa ss word"
# Long enough that XOAUTH2 must wait for the 334 before sending it.
TOKEN = "eyJ0eXAiOiJKV1QiLCJhbGciOiJSUzI1NiJ9." + "x" * 2460
# From the AUTH command to the end of the call when the token is refused:
# the client answers the error challenge and stops at the 535, it does not
# wait for a time limit.
REFUSAL_LIMIT_S = 2.0


class Authentication(unittest.TestCase):
    def send(self, server, user=USER, pwd=PASSWORD, auth=None):
        statement = ("EXEC master..mailvane @server = '127.0.0.1', @port = %d, "
                     "@from = 'sender@example.com', @recipients = 'ann@example.com', "
                     "@subject = 'auth', @message = 'signed in', @user = %s, @pwd = %s"
                     % (server.port, sql_text(user), sql_text(pwd)))
        if auth is not None:
            statement += ", @auth = %s" % sql_text(auth)
        result = harness.run(statement)
        return result

    def assert_delivered(self, server, result, login):
        self.assertEqual(result.exit_status, 0, result)
        self.assertEqual(result.messages, [], result)
        self.assertTrue(server.wait_for(1))
        self.assertEqual(server.messages[0].login, login)

    def assert_refused(self, result, text):
        self.assertEqual(result.exit_status, 1, result)
        self.assertEqual([m["text"] for m in result.messages], [text])
        for secret in (PASSWORD, TOKEN, "wrong-token"):
            self.assertNotIn(secret, result.stdout.decode("utf-8", "replace"))

    def test_login_is_chosen_where_plain_is_not_offered(self):
        with harness.smtp_server(user=USER, password=PASSWORD,
                                 mechanisms=["LOGIN", "XOAUTH2"]) as server:
            result = self.send(server)
            self.assert_delivered(server, result, USER)
            self.assertEqual([c.mechanism for c in server.auth_commands], ["LOGIN"])

    def test_no_supported_mechanism_sends_no_credential(self):
        with harness.smtp_server(user=USER, password=PASSWORD,
                                 mechanisms=["GSSAPI", "NTLM"]) as server:
            result = self.send(server)
            self.assert_refused(result, "SMTP Server offers no supported AUTH mechanism(GSSAPI NTLM)")
            self.assertEqual(server.auth_commands, [])
            self.assertEqual(server.messages, [])

    def test_bearer_tokens_deliver(self):
        for auth, initial in (("xoauth2", False), ("OAuthBearer", False)):
            with self.subTest(auth=auth):
                with harness.smtp_server(user=USER, password=TOKEN,
                                         mechanisms=["XOAUTH2", "OAUTHBEARER"]) as server:
                    result = self.send(server, pwd=TOKEN, auth=auth)
                    self.assert_delivered(server, result, USER)
                    [command] = server.auth_commands
                    self.assertEqual((command.mechanism, command.initial, command.answer),
                                     (auth.upper(), initial, None))

    def test_short_token_rides_on_the_auth_line(self):
        with harness.smtp_server(user="u", password="t0k", mechanisms=["XOAUTH2"]) as server:
            result = self.send(server, user="u", pwd="t0k", auth="xoauth2")
            self.assert_delivered(server, result, "u")
            self.assertTrue(server.auth_commands[0].initial)

    def test_refused_token_fails_with_535_at_once(self):
        for auth, answer in (("xoauth2", b""), ("oauthbearer", b"\x01")):
            with self.subTest(auth=auth):
                with harness.smtp_server(user=USER, password=TOKEN,
                                         mechanisms=["XOAUTH2", "OAUTHBEARER"]) as server:
                    result = self.send(server, pwd="wrong-token", auth=auth)
                    self.assert_refused(result, "SMTP Server response code(535)")
                    [command] = server.auth_commands
                    self.assertEqual(command.answer, answer)
                    # Timed from the AUTH command to the client's close, as
                    # the server saw them.
                    deadline = time.monotonic() + REFUSAL_LIMIT_S
                    while not server.closed_at and time.monotonic() < deadline:
                        time.sleep(0.01)
                    self.assertTrue(server.closed_at)
                    self.assertLess(server.closed_at[0] - command.at, REFUSAL_LIMIT_S)
                    self.assertEqual(server.messages, [])


if __name__ == "__main__":
    harness.main()
