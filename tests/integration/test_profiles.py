"""Profiles: set up with mailvane_profile, named by a call of mailvane.

The store is the test's own: on Linux a configuration folder made for the
run (XDG_CONFIG_HOME), under Wine the prefix's registry, where the profiles
carry this run's name and are removed at the end (tests.cmake runs this
file alone there, since the policy holds for every call of the prefix).
No secret may appear in any row, message or trace.
"""

import os
import shutil
import stat
import tempfile
import threading
import unittest

import harness
import test_oauth
from harness import sql_text

RUN = "t%d" % os.getpid()
USER = "alerts@example.com"
SECRET = "Pr0file-Secret-9xQ"
DEAD_PORT = harness.free_port()
UNKNOWN = "Unknown profile '%s'."


def name(suffix):
    return "%s-%s" % (RUN, suffix)


class Profiles(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.config = tempfile.mkdtemp(prefix="mailvane-profiles-")
        cls.env = None if harness.is_windows_build() else {"XDG_CONFIG_HOME": cls.config}
        cls.names = set()

    @classmethod
    def tearDownClass(cls):
        harness.run("".join("EXEC mailvane_profile @profile = N'%s', @delete = 'yes'\n" % n
                            for n in cls.names) +
                    "EXEC mailvane_profile @policy = N'require_profile', @value = N''\n"
                    "EXEC mailvane_profile @policy = N'attachment_folders', @value = N''\n",
                    env=cls.env)
        shutil.rmtree(cls.config, ignore_errors=True)

    def admin(self, statements, *options, tokens=True):
        result = harness.run(statements, *options, env=self.env, tokens=tokens)
        self.assertNotIn(SECRET, result.stdout.decode("utf-8", "replace"))
        return result

    def setup(self, profile, *accounts, allow="public", sender="alerts@example.com"):
        """Sets the profile up with accounts: each a dict of settings."""
        self.names.add(profile)
        statements = ""
        for number, settings in enumerate(accounts, 1):
            values = dict(settings, profile=profile, account=str(number))
            if number == 1:
                values["allow"] = allow
                if sender:
                    values["from"] = sender
            statements += "EXEC master..mailvane_profile " + ", ".join(
                "@%s = N%s" % (k, sql_text(v)) for k, v in values.items()) + "\n"
        result = self.admin(statements)
        self.assertEqual((result.exit_status, result.messages), (0, []), result)

    def send(self, profile, *extra, login=None, trace=True):
        statement = ("EXEC master..mailvane @profile = N%s, @recipients = 'ann@example.com', "
                     "@subject = 'profile', @message = 'Sent through a profile.'"
                     % sql_text(profile))
        if trace:
            statement += ", @trace = 'yes'"
        for item in extra:
            statement += ", " + item
        options = ("--login", login) if login else ()
        return self.admin(statement, *options)

    def failure(self, result):
        """The call's failure text: its message 20001."""
        self.assertEqual(result.exit_status, 1, result)
        return [m["text"] for m in result.messages if m["number"] == 20001][0]

    def test_create_replace_list_delete(self):
        p = name("admin")
        self.setup(p, {"server": "smtp.example.com", "port": "587", "tls": "starttls",
                       "user": USER, "pwd": SECRET},
                   {"server": "smtp2.example.com"}, sender="Alerts <alerts@example.com>")
        # Replaced: account 2 as given now, the profile's sender kept.
        self.admin("EXEC mailvane_profile @profile = N'%s', @account = 2, @server = N'backup.example.com', "
                   "@timeout = '30'" % p)
        rows = [t["values"] for t in self.admin("EXEC master..mailvane_profile").of_kind("row")]
        mine = [r for r in rows if r.get("profile") == p]
        self.assertEqual([(r["account"], r["server"], r["port"], r["tls"], r["user"], r["timeout"],
                           r["from"], r["allow"], r["secret_set"]) for r in mine],
                         [(1, "smtp.example.com", 587, "starttls", USER, None,
                           "Alerts <alerts@example.com>", "public", "yes"),
                          (2, "backup.example.com", None, None, None, "30",
                           "Alerts <alerts@example.com>", "public", "no")])
        policy = {r["policy"]: r["value"] for r in rows if "policy" in r}
        self.assertEqual(policy, {"require_profile": "no", "attachment_folders": None,
                                  "allow_unc": "yes"})
        human = self.admin("EXEC master..mailvane_profile", tokens=False)
        self.assertIn(b"secret_set", human.stdout)
        # Refusals: 20001 at line 252, nothing changed.
        for statement, text in [
                ("@profile = N'%s', @account = 9, @server = N'x'" % p,
                 "@account must be a number from 1 to 8 (a profile holds at most 8 accounts)."),
                ("@profile = N'%s', @tls = 'ssl', @server = N'x'" % p,
                 "@tls must be 'starttls', 'implicit' or empty."),
                ("@profile = N'%s', @server = N'x'" % name("new"),
                 "@allow is required for a new profile."),
                ("@profile = N'%s', @delete = 'yes'" % name("none"), UNKNOWN % name("none")),
                ("@profile = N'%s', @serverr = N'x'" % p, "Unknown parameter @serverr."),
                ("@profile = N'%sx', @account = 1, @delete = 'yes'" % p, UNKNOWN % (p + "x"))]:
            with self.subTest(statement=statement):
                result = self.admin("EXEC mailvane_profile " + statement)
                harness.assert_failed(self, result, text)
                self.assertEqual(result.messages[0]["line"], 252)
        self.admin("EXEC mailvane_profile @profile = N'%s', @account = 2, @delete = 'yes'" % p)
        self.admin("EXEC mailvane_profile @profile = N'%s', @delete = 'yes'" % p)
        rows = [t["values"] for t in self.admin("EXEC mailvane_profile").of_kind("row")]
        self.assertFalse([r for r in rows if r.get("profile") == p])

    def test_two_processes_of_four_threads_change_the_store_at_once(self):
        names = [name("process%d" % i) for i in range(2)]
        self.names.update(names)
        results = [None, None]

        def change(i):
            results[i] = self.admin(
                "EXEC mailvane_profile @profile = N'%s', @server = N'smtp%d.example.com', "
                "@user = N'u', @pwd = N%s, @allow = N'public'" % (names[i], i, sql_text(SECRET)),
                "--threads", "4", "--repeat", "5")

        workers = [threading.Thread(target=change, args=(i,)) for i in range(2)]
        for worker in workers:
            worker.start()
        for worker in workers:
            worker.join()
        self.assertEqual([r.exit_status for r in results], [0, 0], results)
        rows = [t["values"] for t in self.admin("EXEC mailvane_profile").of_kind("row")]
        self.assertEqual(sorted((r["profile"], r["server"], r["secret_set"]) for r in rows
                                if r.get("profile") in names),
                         [(names[i], "smtp%d.example.com" % i, "yes") for i in range(2)])

    def test_profile_delivers_with_auth_and_trace_names_each_account(self):
        p = name("two")
        with harness.smtp_server(user=USER, password=SECRET) as server:
            # The first account refuses the connection: one attempt, then
            # the second delivers.
            self.setup(p, {"server": "127.0.0.1", "port": str(DEAD_PORT)},
                       {"server": "127.0.0.1", "port": str(server.port), "user": USER,
                        "pwd": SECRET}, sender="alerts@example.com")
            result = self.send(p)
            self.assertEqual(result.exit_status, 0, result)
            self.assertTrue(server.wait_for(1))
            self.assertEqual((server.messages[0].login, server.messages[0].mail_from),
                             (USER, "alerts@example.com"))
            lines = [m["text"] for m in result.messages]
            self.assertEqual([l for l in lines if l.startswith("account ")],
                             ["account 1: 127.0.0.1 port %d" % DEAD_PORT,
                              "account 2: 127.0.0.1 port %d" % server.port])
            self.assertEqual(len([l for l in lines if l.startswith("connecting to")]), 2)
            # The caller's @from wins over the profile's.
            self.assertEqual(self.send(p, "@from = 'me@example.com'").exit_status, 0)
            self.assertTrue(server.wait_for(2))
            self.assertEqual(server.messages[1].mail_from, "me@example.com")

    def test_no_retry_after_the_end_of_data(self):
        p = name("after-data")
        with harness.smtp_server(data_reply="554 5.6.0 rejected after data") as first, \
                harness.smtp_server() as second:
            self.setup(p, {"server": "127.0.0.1", "port": str(first.port)},
                       {"server": "127.0.0.1", "port": str(second.port)})
            harness.assert_failed(self, self.send(p, trace=False), "SMTP Server response code(554)")
            self.assertEqual((len(first.messages), second.messages), (1, []))
            # All accounts dead: how many were tried, then the last text.
            self.setup(p, {"server": "127.0.0.1", "port": str(DEAD_PORT)},
                       {"server": "127.0.0.1", "port": str(first.port)})
            text = self.failure(self.send(p, trace=False))
            self.assertEqual(text, "Profile '%s': 2 accounts tried; the last: "
                             "SMTP Server response code(554)" % p)

    def test_caller_settings_logins_and_require_profile(self):
        p = name("strict")
        self.setup(p, {"server": "127.0.0.1", "port": str(DEAD_PORT)}, allow="DOMAIN\\ops; sa2")
        for given in ("@server = 'evil.example.com'", "@tls_verify = 'no'", "@pwd = 'x'",
                      "@oauth_token_url = 'https://evil.example.com/'"):
            with self.subTest(given=given):
                option = given.split(" ")[0]
                harness.assert_failed(self, self.send(p, given, trace=False),
                                      "%s can not be given with @profile." % option)
        harness.assert_failed(self, self.send(p, trace=False), UNKNOWN % p)
        harness.assert_failed(self, self.send(name("absent"), trace=False), UNKNOWN % name("absent"))
        # A listed login, without regard to case, reaches the (dead) server.
        text = self.failure(self.send(p, login="domain\\OPS", trace=False))
        self.assertNotEqual(text, UNKNOWN % p)
        plain = "EXEC mailvane @server = '127.0.0.1', @port = %d, @from = 'a@example.com', " \
                "@recipients = 'b@example.com'" % DEAD_PORT
        try:
            self.admin("EXEC mailvane_profile @policy = N'require_profile', @value = N'yes'")
            harness.assert_failed(self, self.admin(plain),
                                  "A call must name @profile here (policy require_profile).")
        finally:
            self.admin("EXEC mailvane_profile @policy = N'require_profile', @value = N''")
        self.assertNotEqual(self.failure(self.admin(plain)),
                            "A call must name @profile here (policy require_profile).")

    def test_attachments_outside_the_folders_are_refused_unsent(self):
        p = name("files")
        base = tempfile.mkdtemp(prefix="mailvane-folders-")
        try:
            allowed, other = os.path.join(base, "out"), os.path.join(base, "secret")
            os.mkdir(allowed)
            os.mkdir(other)
            [inside] = harness.write_files(allowed, {"report.txt": b"report\n"})
            [outside] = harness.write_files(other, {"key.txt": b"key\n"})
            os.symlink(os.path.join(other, "key.txt"), os.path.join(allowed, "link.txt"))
            dotdot = harness.procedure_path(os.path.join(allowed, "..", "secret", "key.txt"))
            link = harness.procedure_path(os.path.join(allowed, "link.txt"))
            with harness.smtp_server() as server:
                self.setup(p, {"server": "127.0.0.1", "port": str(server.port)})
                self.admin("EXEC mailvane_profile @policy = N'attachment_folders', @value = N%s"
                           % sql_text(harness.procedure_path(allowed)))
                try:
                    for path in (outside, dotdot, link):
                        with self.subTest(path=path):
                            result = self.send(p, "@attachments = N%s" % sql_text(path))
                            self.assertEqual(self.failure(result),
                                             "Attachment outside the attachment folders(%s)" % path)
                            self.assertFalse([m for m in result.messages
                                              if m["text"].startswith("connecting")])
                    if harness.is_windows_build():
                        harness.assert_failed(
                            self, self.send(p, r"@attachments = '\\fileserver\share\x.txt'",
                                            trace=False),
                            r"Attachment on a network path refused(\\fileserver\share\x.txt)")
                    self.assertEqual(self.send(p, "@attachments = N%s" % sql_text(inside),
                                               trace=False).exit_status, 0)
                finally:
                    self.admin("EXEC mailvane_profile @policy = N'attachment_folders', @value = N''")
                self.assertTrue(server.wait_for(1))
                self.assertEqual(len(server.messages), 1)
        finally:
            shutil.rmtree(base, ignore_errors=True)

    def test_oauth_profile_fetches_its_token(self):
        p = name("oauth")
        with test_oauth.TokenEndpoint() as endpoint, \
                harness.smtp_server(user=USER, password=test_oauth.TOKEN,
                                    mechanisms=["XOAUTH2"]) as smtp:
            settings = {"server": "127.0.0.1", "port": str(smtp.port), "user": USER,
                        "pwd": test_oauth.SECRET, "oauth_token_url": endpoint.url(),
                        "oauth_client_id": test_oauth.CLIENT_ID}
            if harness.verify_test_ca():
                settings["tls_verify"] = harness.verify_test_ca()
            self.setup(p, settings)
            env = dict(self.env or {})
            if not harness.is_windows_build():
                env["SSL_CERT_FILE"] = test_oauth.CERTS["ca"]
            result = harness.run(
                "EXEC mailvane @profile = N'%s', @recipients = 'ann@example.com', @trace = 'yes'"
                % p, env=env)
            self.assertEqual(result.exit_status, 0, result)
            self.assertTrue(smtp.wait_for(1))
            output = result.stdout.decode("utf-8", "replace")
            for secret in (test_oauth.SECRET, test_oauth.TOKEN):
                self.assertNotIn(secret, output)
        self.assertEqual(len(endpoint.requests), 1)

    def test_store_open_to_others_is_refused(self):
        if harness.is_windows_build():
            self.skipTest("the file's mode is the Linux store's")
        self.setup(name("mode"), {"server": "127.0.0.1"})
        store = os.path.join(self.config, "mailvane", "profiles.json")
        os.chmod(store, 0o644)
        try:
            text = ("The profile store %s can be read or written by others; it is not used "
                    "(make the file 0600, its folder 0700)" % store)
            harness.assert_failed(self, self.send(name("mode"), trace=False), text)
            harness.assert_failed(self, self.admin("EXEC mailvane_profile"), text)
        finally:
            os.chmod(store, stat.S_IRUSR | stat.S_IWUSR)


def setUpModule():
    test_oauth.setUpModule()


def tearDownModule():
    test_oauth.tearDownModule()


if __name__ == "__main__":
    harness.main()
