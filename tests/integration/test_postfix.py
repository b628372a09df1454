"""Delivery through a real Postfix relay that insists on a proper greeting.

The test runs a Postfix instance of its own: configuration, queue and
mailbox in a temporary folder (never the system's /etc/postfix instance),
listening on free loopback ports. Like many production relays it requires
HELO or EHLO and refuses a name that is not fully qualified or not valid
(reject_non_fqdn_helo_hostname, reject_invalid_helo_hostname), so a call
gets through only when its greeting names the host properly or gives an
address literal. Authentication is Cyrus SASL against an sasldb the test
makes; what Postfix accepts it delivers into a Maildir that the test reads,
so every test sees its mail arrive, with the greeting name and login that
Postfix recorded in its Received field. One more listener puts postscreen
in front, as on many a Postfix MX: it sends "220-", holds the last greeting
line for POSTSCREEN_WAIT seconds, and refuses every recipient of a client
that speaks before it (postscreen_greet_action = enforce).

Postfix's master starts as root and its daemons drop to the postfix user,
so the test needs root, as the test command has. It is skipped when
Postfix is not installed. Every wait is bounded; the instance is stopped
when the tests end.
"""

import email
import email.policy
import os
import pwd
import re
import shutil
import signal
import smtplib
import socket
import subprocess
import tempfile
import time
import unittest

import harness
from harness import sql_text

POSTFIX = shutil.which("postfix") or "/usr/sbin/postfix"
SASLPASSWD = shutil.which("saslpasswd2") or "/usr/sbin/saslpasswd2"

# What the restrictions under test are: the common ones on relays.
HELO_RESTRICTIONS = "reject_non_fqdn_helo_hostname, reject_invalid_helo_hostname"
# The mailbox domain, the SASL realm and the one account in the sasldb.
MAIL_DOMAIN = "example.test"
REALM = "mailvane.test"
USER = "dba@" + REALM
PASSWORD = "s3cret pass"

# Bounds, in seconds: Postfix's start and stop, and a mail's way from the
# accepted DATA into the mailbox (one queue manager pass: well under one).
START_LIMIT = 30
STOP_LIMIT = 30
DELIVERY_LIMIT = 20
# How long postscreen holds the last line of its greeting.
POSTSCREEN_WAIT = 2

# A greeting name Postfix took: an address literal, or a dotted name.
GREETING = re.compile(r"^(\[[0-9.]+\]|\[IPv6:[0-9a-f:]+\]|[A-Za-z0-9-]+(\.[A-Za-z0-9-]+)+)$")

MAIN_CF = """\
compatibility_level = 3.6
queue_directory = {root}/queue
data_directory = {root}/data
mail_owner = postfix
setgid_group = postdrop
maillog_file_prefixes = {root}
maillog_file = {root}/maillog
myhostname = relay.{realm}
mydomain = {realm}
myorigin = $myhostname
mydestination =
inet_interfaces = loopback-only
inet_protocols = {protocols}
mynetworks = 127.0.0.0/8 [::1]/128
alias_maps =
alias_database =
smtpd_helo_required = yes
smtpd_helo_restrictions = {helo}
smtpd_sasl_auth_enable = yes
smtpd_sasl_authenticated_header = yes
virtual_mailbox_domains = {domain}
virtual_mailbox_base = {root}/mail
virtual_mailbox_maps = static:inbox/
virtual_uid_maps = static:{uid}
virtual_gid_maps = static:{gid}
postscreen_access_list =
postscreen_greet_action = enforce
postscreen_greet_banner = $myhostname greets in two lines
postscreen_greet_wait = {wait}s
"""

# Only the services this instance uses, none in a chroot (the SASL
# configuration and database stay where the test made them).
MASTER_CF = """\
{listeners}
smtpd     pass  -       -       n       -       -       smtpd
pickup    unix  n       -       n       60      1       pickup
cleanup   unix  n       -       n       -       0       cleanup
qmgr      unix  n       -       n       300     1       qmgr
rewrite   unix  -       -       n       -       -       trivial-rewrite
bounce    unix  -       -       n       -       0       bounce
defer     unix  -       -       n       -       0       bounce
trace     unix  -       -       n       -       0       bounce
verify    unix  -       -       n       -       1       verify
flush     unix  n       -       n       1000?   0       flush
proxymap  unix  -       -       n       -       -       proxymap
error     unix  -       -       n       -       -       error
retry     unix  -       -       n       -       -       error
discard   unix  -       -       n       -       -       discard
virtual   unix  -       n       n       -       -       virtual
anvil     unix  -       -       n       -       1       anvil
scache    unix  -       -       n       -       1       scache
postlog   unix-dgram n  -       n       -       1       postlogd
"""

# Debian's Postfix reads the SASL settings of smtpd from sasl/smtpd.conf in
# its configuration folder.
SMTPD_CONF = """\
pwcheck_method: auxprop
auxprop_plugin: sasldb
sasldb_path: {root}/sasldb2
mech_list: PLAIN
"""


def wait_for_port(host, port, process, limit):
    """True once host:port accepts a connection, within limit seconds."""
    deadline = time.monotonic() + limit
    while time.monotonic() < deadline and process.poll() is None:
        try:
            with socket.create_connection((host, port), timeout=1):
                return True
        except OSError:
            time.sleep(0.1)
    return False


class PostfixInstance:
    """A private Postfix on loopback: 127.0.0.1 and, where there is one, ::1."""

    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="mailvane-postfix-")
        # Postfix's daemons run as its user and must reach the queue.
        os.chmod(self.root, 0o755)
        self.conf = os.path.join(self.root, "conf")
        self.ports = {"127.0.0.1": harness.free_port("127.0.0.1")}
        self.postscreen_port = harness.free_port("127.0.0.1")
        try:
            self.ports["::1"] = harness.free_port("::1")
        except OSError:
            pass  # no IPv6 loopback on this machine
        self.process = None

    def write_configuration(self):
        owner = pwd.getpwnam("postfix")
        for folder in ("conf", "conf/sasl", "queue", "data", "mail"):
            os.makedirs(os.path.join(self.root, folder))
        for folder in ("data", "mail"):
            os.chown(os.path.join(self.root, folder), owner.pw_uid, owner.pw_gid)
        listeners = "\n".join(
            "%s:%d inet n - n - - smtpd" % ("[%s]" % host if ":" in host else host, port)
            for host, port in self.ports.items())
        listeners += "\n127.0.0.1:%d inet n - n - 1 postscreen" % self.postscreen_port
        values = dict(root=self.root, realm=REALM, domain=MAIL_DOMAIN, helo=HELO_RESTRICTIONS,
                      wait=POSTSCREEN_WAIT,
                      uid=owner.pw_uid, gid=owner.pw_gid,
                      protocols="all" if "::1" in self.ports else "ipv4")
        files = {"conf/main.cf": MAIN_CF.format(**values),
                 "conf/master.cf": MASTER_CF.format(listeners=listeners),
                 "conf/sasl/smtpd.conf": SMTPD_CONF.format(**values)}
        for name, text in files.items():
            with open(os.path.join(self.root, name), "w") as f:
                f.write(text)
        sasldb = os.path.join(self.root, "sasldb2")
        subprocess.run([SASLPASSWD, "-p", "-c", "-f", sasldb, "-u", REALM, USER.split("@")[0]],
                       input=PASSWORD.encode(), check=True, timeout=STOP_LIMIT)
        os.chown(sasldb, owner.pw_uid, owner.pw_gid)

    def start(self):
        try:
            self.write_configuration()
            self.process = subprocess.Popen(
                [POSTFIX, "-c", self.conf, "start-fg"], stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
            for host, port in list(self.ports.items()) + [("127.0.0.1", self.postscreen_port)]:
                if not wait_for_port(host, port, self.process, START_LIMIT):
                    raise AssertionError("Postfix did not listen on %s port %d:\n%s"
                                         % (host, port, self.log()))
        except BaseException:
            self.stop()
            raise

    def stop(self):
        if self.process is not None:
            try:
                subprocess.run([POSTFIX, "-c", self.conf, "stop"], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               timeout=STOP_LIMIT, check=False)
                self.process.wait(timeout=STOP_LIMIT)
            except subprocess.TimeoutExpired:
                # The master and its daemons share its session.
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait(timeout=STOP_LIMIT)
            self.process = None
        shutil.rmtree(self.root, ignore_errors=True)

    def log(self):
        try:
            with open(os.path.join(self.root, "maillog"), errors="replace") as f:
                return f.read()[-4000:]
        except OSError:
            return "(no log)"

    def wait_for_mail(self, subject):
        """The delivered message with this subject, within DELIVERY_LIMIT."""
        inbox = os.path.join(self.root, "mail", "inbox", "new")
        deadline = time.monotonic() + DELIVERY_LIMIT
        while time.monotonic() < deadline:
            for name in os.listdir(inbox) if os.path.isdir(inbox) else []:
                with open(os.path.join(inbox, name), "rb") as f:
                    msg = email.message_from_binary_file(f, policy=email.policy.default)
                if str(msg["Subject"]) == subject:
                    return msg
            time.sleep(0.1)
        raise AssertionError("no mail %r arrived:\n%s" % (subject, self.log()))


@unittest.skipUnless(os.path.exists(POSTFIX), "Postfix is not installed (Debian's postfix)")
@unittest.skipUnless(os.geteuid() == 0, "Postfix's master must be started as root")
class PostfixRelay(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.postfix = PostfixInstance()
        cls.postfix.start()

    @classmethod
    def tearDownClass(cls):
        cls.postfix.stop()

    def send(self, host, subject, **params):
        values = {"server": host, "port": str(self.postfix.ports[host]),
                  "from": "sender@example.com", "recipients": "ann@" + MAIL_DOMAIN,
                  "subject": subject, "message": "Sent through the relay."}
        values.update(params)
        return harness.run("EXEC master..mailvane " + ", ".join(
            "@%s = %s" % (name, sql_text(value)) for name, value in values.items()))

    def assert_delivered(self, host, subject, **params):
        """Sends; returns the greeting name and the Received field Postfix wrote."""
        result = self.send(host, subject, **params)
        self.assertEqual((result.exit_status, result.messages), (0, []),
                         "%r\n%s" % (result, self.postfix.log()))
        msg = self.postfix.wait_for_mail(subject)
        self.assertEqual(msg.get_content().strip(), "Sent through the relay.")
        received = " ".join(str(msg.get_all("Received")[0]).split())
        greeting = received.split()[1]
        self.assertRegex(greeting, GREETING)
        if greeting.startswith("["):
            # The literal is the address the relay saw the call come from.
            self.assertIn(greeting.replace("IPv6:", "").strip("[]"), received.split("(")[1])
        return greeting, received

    def test_the_relay_refuses_a_short_name(self):
        # What the procedure's greeting is checked against really bites.
        with smtplib.SMTP("127.0.0.1", self.postfix.ports["127.0.0.1"],
                          local_hostname="SQLPROD01", timeout=DELIVERY_LIMIT) as client:
            with self.assertRaises(smtplib.SMTPRecipientsRefused) as refused:
                client.sendmail("sender@example.com", ["ann@" + MAIL_DOMAIN],
                                b"Subject: x\r\n\r\nx\r\n")
        code, text = refused.exception.recipients["ann@" + MAIL_DOMAIN]
        self.assertEqual((code, b"need fully-qualified hostname" in text), (504, True), text)

    def test_helo_and_ehlo_with_authentication_are_accepted(self):
        for host in self.postfix.ports:
            with self.subTest(host=host):
                helo, received = self.assert_delivered(host, "HELO via " + host)
                self.assertNotIn("Authenticated sender", received)
                ehlo, received = self.assert_delivered(host, "EHLO via " + host,
                                                       user=USER, pwd=PASSWORD)
                self.assertIn("(Authenticated sender: %s)" % USER, received)
                # The same name for both commands.
                self.assertEqual(helo, ehlo)

    def test_delivery_behind_postscreen(self):
        # The greeting's lines are one reply: HELO waits for the last one.
        start = time.monotonic()
        self.assert_delivered("127.0.0.1", "behind postscreen", port=str(self.postfix.postscreen_port))
        self.assertGreaterEqual(time.monotonic() - start, POSTSCREEN_WAIT)
        self.assertIn("PASS NEW [127.0.0.1]", self.postfix.log())
        self.assertNotIn("PREGREET", self.postfix.log())

    def test_wrong_password_is_refused_with_the_relays_code(self):
        result = self.send("127.0.0.1", "refused", user=USER, pwd="wrong")
        self.assertEqual(result.exit_status, 1, result)
        self.assertEqual([m["text"] for m in result.messages], ["SMTP Server response code(535)"])


if __name__ == "__main__":
    harness.main()
