"""TLS: STARTTLS and implicit TLS against aiosmtpd, certificates checked.

A test certificate authority and server certificates (for "localhost"
only) are made with the openssl command when the tests start. Servers:
STARTTLS required before MAIL (and AUTH only over TLS), implicit TLS, one
without STARTTLS, one whose certificate comes from another authority, and
one that speaks nothing newer than TLS 1.1.

Through xpexec the procedure checks certificates against the system's
roots. On Linux the test authority is made the system's through OpenSSL's
own SSL_CERT_FILE; Windows has no such setting, so there xpexec runs the
verified cases with @tls_verify = 'no' (and an unverified certificate is
still refused with 'yes'), and tls_send, which gives the transport a trust
file, runs the certificate checks themselves on both builds.
"""

import base64
import os
import re
import shutil
import socket
import ssl
import subprocess
import tempfile
import threading
import unittest
import warnings

import harness
from certificates import make_authority, make_server_certificate
from harness import sql_text, verify_test_ca

USER, PASSWORD = "tls-user", "tls-secret"
TIMEOUT = harness.DEFAULT_TIMEOUT

TEXT_NOT_OFFERED = "SMTP Server does not offer STARTTLS"
TEXT_UNTRUSTED = "Server certificate not trusted("
TEXT_MISMATCH = "Server certificate does not match the server name"
TEXT_OLD = "TLS handshake failed: server offers no TLS 1.2 or later"

CERTS = {}


def setUpModule():
    directory = tempfile.mkdtemp(prefix="mailvane-tls-")
    CERTS["dir"] = directory
    authority = make_authority(directory, "test-ca")
    stranger = make_authority(directory, "unknown-ca")
    CERTS["ca"] = authority[1]
    CERTS["server"] = make_server_certificate(directory, "server", authority)
    CERTS["stranger"] = make_server_certificate(directory, "stranger", stranger)


def tearDownModule():
    shutil.rmtree(CERTS["dir"], ignore_errors=True)


def server_context(which="server", old=False, ask_certificate=False):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(*CERTS[which])
    if ask_certificate:
        # Asks the client for a certificate of the test authority, optionally.
        context.verify_mode = ssl.CERT_OPTIONAL
        context.load_verify_locations(CERTS["ca"])
    if old:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            context.set_ciphers("DEFAULT:@SECLEVEL=0")
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = ssl.TLSVersion.TLSv1_1
    return context


class OldTlsServer:
    """A STARTTLS server that speaks nothing newer than TLS 1.1.

    aiosmtpd's asyncio TLS drops such a client without an alert; this one
    answers as an OpenSSL server does, with the protocol version alert. It
    plays EHLO (announcing STARTTLS) and STARTTLS, then the handshake; it
    accepts one connection, every wait bounded, and records whether any
    handshake completed.
    """

    def __init__(self):
        self._listener = socket.create_server(("127.0.0.1", 0))
        self._listener.settimeout(TIMEOUT)
        self.port = self._listener.getsockname()[1]
        self.messages = []
        self.handshakes = 0
        self._thread = threading.Thread(target=self._serve, daemon=True)

    def _serve(self):
        try:
            connection, _ = self._listener.accept()
        except OSError:
            return
        with connection:
            connection.settimeout(TIMEOUT)
            try:
                connection.sendall(b"220 old\r\n")
                connection.recv(1000)
                connection.sendall(b"250-old\r\n250 STARTTLS\r\n")
                connection.recv(1000)
                connection.sendall(b"220 go ahead\r\n")
                with server_context(old=True).wrap_socket(connection, server_side=True):
                    self.handshakes += 1
            except (OSError, ssl.SSLError):
                pass

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._listener.close()
        self._thread.join(TIMEOUT)
        return False


# TLS record types (RFC 5246 section 6.2.1) and the most a record holds.
APPLICATION_DATA = 23
RECORD_TYPES = (20, 21, 22, 23)
MAX_RECORD = 2 ** 14 + 2048


def split_records(raw):
    """The (type, length) of each TLS record in `raw`; None when `raw` is not
    a sequence of records (a byte in the clear)."""
    records, at = [], 0
    while at < len(raw):
        if len(raw) - at < 5:
            return None
        kind, major, length = raw[at], raw[at + 1], int.from_bytes(raw[at + 3:at + 5], "big")
        if kind not in RECORD_TYPES or major != 3 or length > MAX_RECORD:
            return None
        if len(raw) - at - 5 < length:
            return None
        records.append((kind, length))
        at += 5 + length
    return records


class BrokenReplyServer:
    """A TLS server that breaks off its EHLO reply inside TLS.

    After STARTTLS (or from the connect on, for implicit TLS) it speaks TLS
    1.2 through an SSLObject, so that it sees every byte the client sends.
    It answers the EHLO inside TLS with its first line in one record, then
    `fault`: "inject" writes a line that is no TLS record on the socket, as
    an attacker on the path would; "stall" sends nothing more; "lf" sends
    the reply with lines ended by LF alone instead, then answers the next
    command (kept in `command`) with 554. Then it reads
    until the client closes, at most HOLD seconds. `raw` is everything the
    client sent since TLS started; `after_fault` what came after the fault;
    `client_closed` whether the client closed the connection.
    """

    HOLD = 30

    def __init__(self, mode, fault):
        self.mode, self.fault = mode, fault
        self._listener = socket.create_server(("127.0.0.1", 0))
        self._listener.settimeout(TIMEOUT)
        self.port = self._listener.getsockname()[1]
        self.raw, self.after_fault, self.command = b"", b"", b""
        self.client_closed = False
        self.problem = None
        self._thread = threading.Thread(target=self._serve, daemon=True)

    def _receive(self, connection):
        data = connection.recv(65536)
        self.raw += data
        return data

    def _serve(self):
        try:
            connection, _ = self._listener.accept()
        except OSError as error:
            self.problem = "no connection: %s" % error
            return
        with connection:
            connection.settimeout(TIMEOUT)
            try:
                self._dialogue(connection)
            except (OSError, ssl.SSLError, EOFError) as error:
                self.problem = "%s: %s" % (type(error).__name__, error)

    def _dialogue(self, connection):
        if self.mode == "starttls":
            connection.sendall(b"220 broken\r\n")
            connection.recv(1000)
            connection.sendall(b"250-broken\r\n250 STARTTLS\r\n")
            connection.recv(1000)
            connection.sendall(b"220 go ahead\r\n")
        context = server_context()
        context.maximum_version = ssl.TLSVersion.TLSv1_2
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        tls = context.wrap_bio(incoming, outgoing, server_side=True)

        def flush():
            connection.sendall(outgoing.read())

        def pump():
            data = self._receive(connection)
            if not data:
                raise EOFError("client closed")
            incoming.write(data)

        while True:
            try:
                tls.do_handshake()
                break
            except ssl.SSLWantReadError:
                flush()
                pump()
        flush()
        if self.mode == "implicit":
            tls.write(b"220 broken\r\n")
            flush()
        def read_line():
            line = b""
            while not line.endswith(b"\r\n"):
                try:
                    line += tls.read(1000)
                except ssl.SSLWantReadError:
                    pump()
            return line

        line = read_line()
        if not line.startswith(b"EHLO "):
            self.problem = "expected EHLO, got %r" % line
        if self.fault == "lf":
            tls.write(b"250-broken\n250 AUTH PLAIN\n")
            flush()
            self.command = read_line()
            tls.write(b"554 no\n")
        else:
            tls.write(b"250-broken\r\n")
        flush()
        if self.fault == "inject":
            connection.sendall(b"250 AUTH PLAIN\r\n")
        start = len(self.raw)
        connection.settimeout(self.HOLD)
        try:
            while self._receive(connection):
                pass
            self.client_closed = True
        except OSError:
            pass
        self.after_fault = self.raw[start:]

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._listener.close()
        self._thread.join(self.HOLD + TIMEOUT)
        return False


def starttls_server(which="server", user=None, old=False, ask_certificate=False):
    if old:
        return OldTlsServer()
    options = dict(tls_context=server_context(which, ask_certificate=ask_certificate),
                   require_starttls=True)
    if user:
        options["auth_require_tls"] = True
    return harness.smtp_server(user=user, password=PASSWORD, options=options)


def implicit_server(user=None, ask_certificate=False):
    return harness.smtp_server(user=user, password=PASSWORD, options=dict(
        ssl_context=server_context(ask_certificate=ask_certificate)))


def tls_send(server, host, mode, verify="yes", trust=True, user=None):
    trust_file = harness.procedure_path(CERTS["ca"]) if trust else "-"
    args = [host, str(server.port), mode, verify, trust_file, "sender@example.com",
            "ann@example.com"]
    if user:
        args += [user, PASSWORD]
    result = subprocess.run(harness.tool_command("tls_send") + args, capture_output=True,
                            timeout=TIMEOUT)
    return result.returncode, result.stdout.decode("utf-8", "replace").strip()


# The trace of a send with AUTH over STARTTLS, after the connect: one
# pattern a line, where "< 250-" stands for every continuation line of a
# reply in a row.
TRACE_STARTTLS = [r"< 220 .+", r"> EHLO \S+", r"< 250-", r"< 250 .+", r"> STARTTLS",
                  r"< 220 .+", r"TLS 1\.[23] \S+, certificate CN=localhost, (not )?verified",
                  r"> EHLO \S+", r"< 250-", r"< 250 .+", r"> AUTH PLAIN", r"< 334 ?",
                  r"> <credentials hidden>"]
TRACE_SENT = [r"< 235 .+", r"> MAIL FROM:<sender@example.com>", r"< 250 .+",
              r"> RCPT TO:<ann@example.com>", r"< 250 .+", r"> DATA", r"< 354 .+",
              r"> <message: \d+ bytes>", r"< 250 2\.0\.0 Ok: queued as M\d+"]
TRACE_REFUSED = [r"< 535 5\.7\.8 Authentication credentials invalid"]


def trace_lines(result):
    """The trace messages of a call, the failed connects to other addresses
    of the name after the headline left out, and each run of continuation
    lines as one."""
    lines = [m["text"] for m in result.messages if m["number"] == 20002]
    while len(lines) > 2 and lines[1].startswith("connecting to ") and lines[2] != "connected":
        lines = lines[:1] + lines[3:]
    folded = []
    for line in lines:
        if not (line.startswith("< 250-") and folded and folded[-1] == "< 250-"):
            folded.append("< 250-" if line.startswith("< 250-") else line)
    return lines, folded


class Procedure(unittest.TestCase):
    """Calls through xpexec."""

    def call(self, server, host, tls, verify=None, user=None, port=None, pwd=PASSWORD,
             trace=None):
        params = [("server", host), ("port", str(port or server.port)),
                  ("recipients", "ann@example.com"), ("from", "sender@example.com"),
                  ("subject", "over TLS"), ("message", "Hello over TLS.\n")]
        if user:
            params += [("user", user), ("pwd", pwd)]
        if tls is not None:
            params.append(("tls", tls))
        if verify is not None:
            params.append(("tls_verify", verify))
        if trace is not None:
            params.append(("trace", trace))
        statement = "EXEC master..mailvane " + ", ".join(
            "@%s = %s" % (name, sql_text(value)) for name, value in params)
        env = None if harness.is_windows_build() else {"SSL_CERT_FILE": CERTS["ca"]}
        return harness.run(statement, env=env)

    def assert_sent(self, result, server, login=None):
        self.assertEqual(result.exit_status, 0, result)
        self.assertEqual(result.messages, [], result)
        self.assertTrue(server.wait_for(1))
        mail = server.messages[0]
        self.assertEqual(mail.mail_from, "sender@example.com")
        self.assertEqual(mail.rcpt_tos, ["ann@example.com"])
        self.assertIn(b"Hello over TLS.", mail.data)
        self.assertEqual(mail.login, login)

    def assert_failed(self, result, server, text, prefix=False):
        harness.assert_failed(self, result, text, prefix)
        if server is not None:
            self.assertEqual(server.messages, [])

    def test_starttls_without_user(self):
        with starttls_server() as server:
            self.assert_sent(self.call(server, "localhost", "starttls", verify_test_ca()), server)

    def test_starttls_with_auth_plain(self):
        with starttls_server(user=USER) as server:
            self.assert_sent(self.call(server, "localhost", "STARTTLS", verify_test_ca(),
                                       user=USER), server, login=USER)

    def test_implicit_tls_with_auth_plain(self):
        with implicit_server(user=USER) as server:
            self.assert_sent(self.call(server, "localhost", "implicit", verify_test_ca(),
                                       user=USER), server, login=USER)

    def test_server_asking_for_a_client_certificate(self):
        # The client has none to give, and goes on without it.
        for serve, mode in [(starttls_server, "starttls"), (implicit_server, "implicit")]:
            with self.subTest(mode=mode), serve(user=USER, ask_certificate=True) as server:
                self.assert_sent(self.call(server, "localhost", mode, verify_test_ca(), user=USER),
                                 server, login=USER)

    def test_server_without_starttls(self):
        with harness.smtp_server(user=USER, password=PASSWORD) as server:
            self.assert_failed(self.call(server, "localhost", "starttls", user=USER), server,
                               TEXT_NOT_OFFERED)

    def test_unknown_authority_is_refused_unless_unchecked(self):
        with starttls_server("stranger") as server:
            self.assert_failed(self.call(server, "localhost", "starttls"), server,
                               TEXT_UNTRUSTED, prefix=True)
            self.assert_sent(self.call(server, "localhost", "starttls", "no"), server)

    def test_name_mismatch(self):
        if harness.is_windows_build():
            self.skipTest("the test authority is no Windows root: see TrustFile")
        with starttls_server() as server:
            self.assert_failed(self.call(server, "127.0.0.1", "starttls"), server, TEXT_MISMATCH)

    def test_tls_older_than_1_2_is_refused(self):
        with starttls_server(old=True) as server:
            self.assert_failed(self.call(server, "localhost", "starttls", "no"), server, TEXT_OLD)
        self.assertEqual(server.handshakes, 0)

    def test_refused_values(self):
        with harness.smtp_server() as server:
            self.assert_failed(self.call(server, "localhost", "tls"), server,
                               "@tls must be 'starttls', 'implicit' or empty.")
            self.assert_failed(self.call(server, "localhost", "starttls", "sometimes"), server,
                               "@tls_verify must be 'yes' or 'no'.")

    def test_injected_or_stalled_reply_closes_the_connection(self):
        # Inside TLS the rest of the EHLO reply is replaced by bytes in the
        # clear, or held back past the drain: the client closes, nothing it
        # sends travels outside TLS, no command follows, and the call says
        # why.
        texts = {"inject": "TLS session failed in EHLO reply(",
                 "stall": "SMTP Server reply timeout(rest of EHLO reply)"}
        for mode, user, fault in [("starttls", None, "inject"), ("starttls", USER, "inject"),
                                  ("starttls", None, "stall"), ("starttls", USER, "stall"),
                                  ("implicit", USER, "inject"), ("implicit", USER, "stall")]:
            with self.subTest(mode=mode, user=user, fault=fault):
                with BrokenReplyServer(mode, fault) as server:
                    result = self.call(server, "localhost", mode, "no", user=user)
                self.assertIsNone(server.problem)
                self.assertIsNotNone(split_records(server.raw),
                                     "bytes outside TLS: %r" % server.raw[-200:])
                after = split_records(server.after_fault)
                self.assertIsNotNone(after)
                # An alert at most: no command, in the clear or in TLS.
                self.assertNotIn(APPLICATION_DATA, [kind for kind, _ in after])
                self.assertTrue(server.client_closed)
                self.assert_failed(result, None, texts[fault], prefix=True)

    def test_lines_ended_by_lf_alone_inside_tls(self):
        # The EHLO reply inside TLS ends at its last line: the next command
        # follows at once, inside TLS.
        for mode, user in [("starttls", None), ("implicit", USER)]:
            with self.subTest(mode=mode), BrokenReplyServer(mode, "lf") as server:
                result = self.call(server, "localhost", mode, "no", user=user)
            self.assertIsNone(server.problem)
            self.assertTrue(server.command.startswith(b"AUTH PLAIN" if user else b"MAIL FROM:"))
            self.assert_failed(result, None, "SMTP Server response code(554)")

    def test_trace_of_auth_over_starttls(self):
        # Every line of the dialogue, in order, as informational messages
        # before the result; no password, nor its base64, in any message.
        verified = "not verified" if verify_test_ca() == "no" else "verified"
        plain = base64.b64encode(b"\0" + USER.encode() + b"\0" + PASSWORD.encode()).decode()
        for pwd, after, error in [(PASSWORD, TRACE_SENT, None),
                                  ("wrong-secret", TRACE_REFUSED, "SMTP Server response code(535)")]:
            with self.subTest(pwd=pwd), starttls_server(user=USER) as server:
                result = self.call(server, "localhost", "starttls", verify_test_ca(), user=USER,
                                   pwd=pwd, trace="yes")
                lines, folded = trace_lines(result)
                self.assertEqual(lines[:3], [harness.trace_headline(),
                                             "connecting to 127.0.0.1 port %d" % server.port,
                                             "connected"], lines)
                patterns = TRACE_STARTTLS + after
                self.assertEqual(len(folded) - 3, len(patterns), lines)
                for line, pattern in zip(folded[3:], patterns):
                    self.assertRegex(line, "^" + pattern + "$")
                self.assertIn("< 250-STARTTLS", lines)
                self.assertIn("< 250-AUTH PLAIN", lines)
                self.assertTrue([line for line in lines if line.endswith(", " + verified)], lines)
                for message in result.messages:
                    for secret in (pwd, plain, base64.b64encode(pwd.encode()).decode()):
                        self.assertNotIn(secret, message["text"])
                kinds = [(m["type"], m["number"], m["class"]) for m in result.messages]
                if error is None:
                    self.assertEqual(result.exit_status, 0, result)
                    self.assertEqual(set(kinds), {(1, 20002, 0)})
                else:
                    self.assertEqual(result.exit_status, 1, result)
                    self.assertEqual(set(kinds[:-1]), {(1, 20002, 0)})
                    self.assertEqual(result.messages[-1]["text"], error)

    def test_without_tls_the_dialogue_stays_plain(self):
        # A server that offers STARTTLS does not make a call without @tls use it.
        with harness.smtp_server(options=dict(tls_context=server_context())) as server:
            self.assert_sent(self.call(server, "127.0.0.1", None), server)


class TrustFile(unittest.TestCase):
    """The certificate checks with the test authority as the only root."""

    def test_starttls_and_implicit_deliver_verified(self):
        with starttls_server(user=USER) as server:
            self.assertEqual(tls_send(server, "localhost", "starttls", user=USER), (0, "sent"))
            self.assertTrue(server.wait_for(1))
            self.assertEqual(server.messages[0].login, USER)
        with implicit_server() as server:
            self.assertEqual(tls_send(server, "localhost", "implicit"), (0, "sent"))
            self.assertTrue(server.wait_for(1))

    def test_unknown_authority(self):
        with starttls_server("stranger") as server:
            status, text = tls_send(server, "localhost", "starttls")
            self.assertEqual(status, 1)
            self.assertTrue(text.startswith(TEXT_UNTRUSTED), text)
            self.assertEqual(server.messages, [])
            self.assertEqual(tls_send(server, "localhost", "starttls", verify="no"), (0, "sent"))

    def test_name_mismatch(self):
        with implicit_server() as server:
            self.assertEqual(tls_send(server, "127.0.0.1", "implicit"), (1, TEXT_MISMATCH))
            self.assertEqual(server.messages, [])

    def test_tls_older_than_1_2(self):
        with starttls_server(old=True) as server:
            self.assertEqual(tls_send(server, "localhost", "starttls"), (1, TEXT_OLD))
        self.assertEqual(server.handshakes, 0)


if __name__ == "__main__":
    harness.main()
