"""Tokens fetched by the procedure: the client credentials grant over HTTPS.

A token endpoint of the test's own (http.server behind ssl, on loopback,
with a certificate of a test authority made at run time) plays the parts
of a real one: it issues a token, refuses the client, never answers,
redirects, answers too much, or asks its clients to wait; it records
every request it reads. The SMTP server then checks that the credential
it receives is the token issued. Several calls in one xpexec process
share the token kept for their key.

On Linux the test authority is made the system's through OpenSSL's
SSL_CERT_FILE, as in test_tls.py; under Wine WinHTTP checks against the
Windows store, which cannot be given the test authority, so there the
deliveries run with @tls_verify = 'no', and the untrusted endpoint (any
certificate, under Wine) is refused with 'yes'. Either way the endpoint
that is refused never reads a request.
"""

import email.utils
import http.server
import json
import os
import re
import shutil
import ssl
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.parse

import harness
from certificates import make_authority, make_server_certificate
from harness import sql_text, verify_test_ca

USER = "reports@contoso.example"
CLIENT_ID = "0b1c2d3e-client"
SECRET = "Cl1ent~Secret&with=odd+bytes"
SCOPE = "https://outlook.office365.com/.default"
# Short enough for the AUTH PLAIN block (750 bytes with the user).
TOKEN = "eyJ0eXAiOiJKV1QifQ." + "aB3-_x" * 100 + ".sig"
LONG_TOKEN = "eyJ0eXAiOiJKV1QifQ." + "Zq9_-w" * 413 + ".sig"
LATER_TOKEN = "eyJ0eXAiOiJKV1QifQ." + "Lt7-_y" * 100 + ".sig"
OTHER_SECRET = "An0ther~Secret"

TEXT_INVALID_CLIENT = ("OAuth token request failed(400): invalid_client: AADSTS7000215: "
                       "Invalid client secret provided.")
TEXT_TIMEOUT = "OAuth token request timeout"
TEXT_UNTRUSTED = "OAuth token endpoint not trusted("
# Wine's WinHTTP refuses the certificate as Windows does, but reports it as
# a failed secure channel, without the certificate's flags.
TEXT_UNTRUSTED_WINE = "OAuth token endpoint TLS handshake failed(12157)"
TEXT_MISMATCH = "OAuth token endpoint certificate does not match its name"
TEXT_TOO_LARGE = "OAuth token reply too large"
BUSY = ": temporarily_unavailable: AADSTS50196: The server terminated an operation."
TEXT_WAIT = re.compile(r"OAuth token endpoint asks to wait (\d+) s\(429\)" + re.escape(BUSY) + "$")

# Longest a silent endpoint keeps a request waiting.
SILENCE = 30.0
# What starting xpexec may cost beyond a call's own limit (Wine is slow to
# start on a busy machine).
START_ALLOWANCE = 15.0

CERTS = {}


def setUpModule():
    directory = tempfile.mkdtemp(prefix="mailvane-oauth-")
    CERTS["dir"] = directory
    authority = make_authority(directory, "test-ca")
    CERTS["ca"] = authority[1]
    CERTS["server"] = make_server_certificate(directory, "server", authority)
    CERTS["stranger"] = make_server_certificate(directory, "stranger",
                                                make_authority(directory, "unknown-ca"))


def tearDownModule():
    shutil.rmtree(CERTS["dir"], ignore_errors=True)


class _EndpointHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_POST(self):
        endpoint = self.server.endpoint
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        endpoint.requests.append(dict(path=self.path, headers=dict(self.headers), body=body))
        endpoint.answer(self)

    def send(self, status, body, content_type="application/json; charset=utf-8", extra=()):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        for name, value in extra:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)


class TokenEndpoint:
    """An HTTPS token endpoint on 127.0.0.1, for a `with` block.

    `mode`: "token" issues `token`; "invalid_client" refuses with 400;
    "silent" never answers; "redirect" sends the client elsewhere; "huge"
    answers 200, and "huge_error" 500, with a body far larger than any
    token reply; "busy" refuses with 429 and `retry_after`, when given.
    A token lives `expires_in` seconds (None: not said); requests after
    the first get `later_token`, when given, each after `delay` seconds.
    `.requests` holds every request read (path, headers, body). `which`
    picks the certificate. It stops when the block ends, or after
    `lifetime` seconds.
    """

    def __init__(self, mode="token", which="server", token=TOKEN, lifetime=120, expires_in=3599,
                 later_token=None, retry_after=None, delay=0):
        self.mode, self.token, self.requests = mode, token, []
        self.expires_in, self.later_token = expires_in, later_token
        self.retry_after, self.delay = retry_after, delay
        self._stopped = threading.Event()
        self._server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), _EndpointHandler)
        self._server.daemon_threads = True
        # A client that hangs up on a reply (one too large, for one) is
        # part of the tests, not an error to print.
        self._server.handle_error = lambda *args: None
        self._server.endpoint = self
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(*CERTS[which])
        self._server.socket = context.wrap_socket(self._server.socket, server_side=True)
        self.port = self._server.server_address[1]
        self._thread = threading.Thread(target=self._server.serve_forever, args=(0.1,),
                                        daemon=True)
        self._timer = threading.Timer(lifetime, self.stop)
        self._timer.daemon = True

    def url(self, host="localhost"):
        return "https://%s:%d/contoso/oauth2/v2.0/token" % (host, self.port)

    def answer(self, handler):
        time.sleep(self.delay)
        if self.mode == "token":
            token = self.later_token if len(self.requests) > 1 and self.later_token else self.token
            reply = {"token_type": "Bearer", "access_token": token}
            if self.expires_in is not None:
                reply["expires_in"] = self.expires_in
            handler.send(200, json.dumps(reply).encode())
        elif self.mode == "busy":
            extra = [("Retry-After", self.retry_after)] if self.retry_after else []
            handler.send(429, json.dumps({"error": "temporarily_unavailable",
                                          "error_description": BUSY.split(": ", 2)[2]}).encode(),
                         extra=extra)
        elif self.mode == "invalid_client":
            handler.send(400, json.dumps({
                "error": "invalid_client",
                "error_description": "AADSTS7000215: Invalid client secret provided.",
                "error_codes": [7000215]}).encode())
        elif self.mode == "silent":
            self._stopped.wait(SILENCE)
            handler.close_connection = True
        elif self.mode == "redirect":
            handler.send(302, b"", "text/plain", [("Location", self.url() + "?again")])
        elif self.mode == "huge":
            handler.send(200, b'{"padding":"' + b"x" * 200000 + b'"}')
        elif self.mode == "huge_error":
            handler.send(500, b"<html>" + b"x" * 200000 + b"</html>", "text/html")

    def stop(self):
        self._timer.cancel()
        self._stopped.set()
        self._server.shutdown()
        self._server.server_close()

    def __enter__(self):
        self._thread.start()
        self._timer.start()
        return self

    def __exit__(self, *exc):
        self.stop()
        self._thread.join(SILENCE)
        return False


def statement(endpoint_url, server_port, verify=None, auth=None, timeout=None, trace=None,
              secret=SECRET):
    params = [("server", "127.0.0.1"), ("port", str(server_port)),
              ("recipients", "ann@example.com"), ("from", USER),
              ("subject", "token"), ("message", "Sent with a fetched token.\n"),
              ("user", USER), ("pwd", secret), ("oauth_token_url", endpoint_url),
              ("oauth_client_id", CLIENT_ID)]
    for name, value in (("tls_verify", verify), ("auth", auth), ("timeout", timeout),
                        ("trace", trace)):
        if value is not None:
            params.append((name, value))
    return "EXEC master..mailvane " + ", ".join(
        "@%s = %s" % (name, sql_text(value)) for name, value in params)


class Fetched(unittest.TestCase):
    def call(self, *args, options=(), **kwargs):
        return self.run_calls([statement(*args, **kwargs)], *options)

    def run_calls(self, statements, *options):
        """Runs the statements in one xpexec process (so they share its
        token cache), with xpexec's further `options`."""
        env = None if harness.is_windows_build() else {"SSL_CERT_FILE": CERTS["ca"]}
        result = harness.run("\n".join(statements), *options, env=env)
        for message in result.messages:
            for secret in (SECRET, urllib.parse.quote_plus(SECRET), OTHER_SECRET, TOKEN,
                           LONG_TOKEN, LATER_TOKEN):
                self.assertNotIn(secret, message["text"])
        return result

    def untrusted(self):
        return TEXT_UNTRUSTED_WINE if harness.is_windows_build() else TEXT_UNTRUSTED

    def assert_form(self, request):
        self.assertEqual(request["path"], "/contoso/oauth2/v2.0/token")
        self.assertEqual(request["headers"]["Content-Type"], "application/x-www-form-urlencoded")
        fields = urllib.parse.parse_qs(request["body"].decode("ascii"), strict_parsing=True)
        self.assertEqual(fields, {"grant_type": ["client_credentials"], "client_id": [CLIENT_ID],
                                  "client_secret": [SECRET], "scope": [SCOPE]})

    def test_token_fetched_and_delivered(self):
        with TokenEndpoint() as endpoint, harness.smtp_server(user=USER, password=TOKEN) as smtp:
            result = self.call(endpoint.url(), smtp.port, verify_test_ca(), "plain")
            self.assertEqual(result.exit_status, 0, result)
            self.assertEqual(result.messages, [], result)
            self.assertTrue(smtp.wait_for(1))
            self.assertEqual(smtp.messages[0].login, USER)
        self.assertEqual(len(endpoint.requests), 1)
        self.assert_form(endpoint.requests[0])

    def test_token_fetched_and_delivered_through_xoauth2(self):
        # Traced: the fetch by its URL and status, the AUTH without the
        # token (call() checks that no message holds it or the secret).
        with TokenEndpoint(token=LONG_TOKEN) as endpoint, \
                harness.smtp_server(user=USER, password=LONG_TOKEN, mechanisms=["XOAUTH2"]) as smtp:
            result = self.call(endpoint.url(), smtp.port, verify_test_ca(), trace="yes")
            self.assertEqual(result.exit_status, 0, result)
            self.assertTrue(smtp.wait_for(1))
            self.assertEqual(smtp.messages[0].login, USER)
        lines = [m["text"] for m in result.messages]
        self.assertEqual(lines[:2], [harness.trace_headline(),
                                     "token endpoint %s: HTTP 200" % endpoint.url()])
        auth = lines.index("> AUTH XOAUTH2")
        self.assertEqual(lines[auth + 1:auth + 3], ["< 334 ", "> <credentials hidden>"])

    def test_failed_fetches_contact_no_smtp_server(self):
        # (mode, @tls_verify, endpoint host, text, how many requests the
        # endpoint reads)
        checked = verify_test_ca()
        rows = [
            ("invalid_client", checked, "localhost", TEXT_INVALID_CLIENT, 1),
            ("redirect", checked, "localhost", "OAuth token request failed(302)", 1),
            ("huge", checked, "localhost", TEXT_TOO_LARGE, 1),
            ("huge_error", checked, "localhost", "OAuth token request failed(500)", 1),
        ]
        if not harness.is_windows_build():
            rows.append(("token", None, "127.0.0.1", TEXT_MISMATCH, 0))
        for mode, verify, host, text, requests in rows:
            with self.subTest(mode=mode, host=host), TokenEndpoint(mode) as endpoint, \
                    harness.smtp_server() as smtp:
                harness.assert_failed(self, self.call(endpoint.url(host), smtp.port, verify), text)
                self.assertEqual(len(endpoint.requests), requests)
                self.assertEqual(smtp.messages, [])

    def test_no_secret_left_in_freed_memory(self):
        # The unit program's watch of freed memory over a whole call with
        # this endpoint (tests/unit/secret_wipe_test.cpp).
        with TokenEndpoint() as endpoint:
            env = dict(os.environ, MAILVANE_TOKEN_URL=endpoint.url(), MAILVANE_TOKEN=TOKEN)
            command = harness.tool_command("mailvane_tests") + [
                "--gtest_filter=SecretWipe.NoCopyOfTheTokenSurvivesAFetch"]
            done = subprocess.run(command, env=env, capture_output=True,
                                  timeout=harness.DEFAULT_TIMEOUT)
        output = done.stdout.decode("utf-8", "replace")
        if "Running 0 tests" in output:
            self.skipTest("this build's unit program has no wipe check")
        self.assertEqual(done.returncode, 0, output[-3000:])
        self.assertIn("[  PASSED  ] 1 test.", output)
        self.assertEqual(len(endpoint.requests), 1)

    def test_untrusted_endpoint_is_used_only_unchecked(self):
        with TokenEndpoint(which="stranger") as endpoint, \
                harness.smtp_server(user=USER, password=TOKEN) as smtp:
            harness.assert_failed(self, self.call(endpoint.url(), smtp.port, "yes"),
                                  self.untrusted(), prefix=True)
            self.assertEqual(endpoint.requests, [])
            result = self.call(endpoint.url(), smtp.port, "no", auth="plain")
            self.assertEqual(result.exit_status, 0, result)
            self.assertTrue(smtp.wait_for(1))
        self.assertEqual(len(endpoint.requests), 1)

    def test_silent_endpoint_fails_within_its_bound(self):
        with TokenEndpoint("silent") as endpoint, harness.smtp_server() as smtp:
            started = time.monotonic()
            result = self.call(endpoint.url(), smtp.port, verify_test_ca(), timeout="2")
            took = time.monotonic() - started
            harness.assert_failed(self, result, TEXT_TIMEOUT)
            self.assertGreaterEqual(took, 2.0)
            self.assertLess(took, 2.0 + START_ALLOWANCE)
            self.assertEqual(len(endpoint.requests), 1)
            # A fetch the client cancels stops at once, and sends nothing.
            result = self.call(endpoint.url(), smtp.port, verify_test_ca(),
                               options=("--cancel-after", "1000"))
            harness.assert_cancelled(self, result, "awaiting the token endpoint")
            self.assertEqual(len(endpoint.requests), 2)
            self.assertEqual(smtp.messages, [])


    def test_token_is_kept_for_later_calls_with_its_key(self):
        # (expires_in, the secret of each call, xpexec options, requests):
        # kept for 20 calls; not kept when it lives 300 s or less; another
        # secret is another key; 8 threads at once wait for one fetch.
        other = [SECRET, OTHER_SECRET] * 2
        rows = [(3599, [SECRET] * 20, (), 1), (240, [SECRET] * 3, (), 3),
                (3599, other, (), 2), (3599, [SECRET], ("--threads", "8"), 1)]
        for expires_in, secrets, options, requests in rows:
            calls = len(secrets) * (int(options[1]) if options else 1)
            with self.subTest(expires_in=expires_in, calls=calls), \
                    TokenEndpoint(expires_in=expires_in, delay=0.5 if options else 0) as endpoint, \
                    harness.smtp_server(user=USER, password=TOKEN, mechanisms=["XOAUTH2"]) as smtp:
                result = self.run_calls([statement(endpoint.url(), smtp.port, verify_test_ca(),
                                                   secret=s) for s in secrets], *options)
                self.assertEqual(result.returns, [0] * calls, result)
                self.assertTrue(smtp.wait_for(calls))
                self.assertEqual(len(endpoint.requests), requests)

    def test_refused_kept_token_is_replaced_once(self):
        # The first server takes the first token, the second the later one:
        # (server, delivered, requests made by then). The last call's kept
        # token is refused, and so is the one fetched in its place.
        xoauth2 = dict(user=USER, mechanisms=["XOAUTH2"])
        with TokenEndpoint(later_token=LATER_TOKEN) as endpoint, \
                harness.smtp_server(password=TOKEN, **xoauth2) as first, \
                harness.smtp_server(password=LATER_TOKEN, **xoauth2) as second:
            calls = [(first, 0, 1), (second, 0, 2), (second, 0, 2), (first, 1, 3)]
            result = self.run_calls([statement(endpoint.url(), server.port, verify_test_ca(),
                                               trace="yes") for server, _, _ in calls])
            self.assertEqual(result.returns, [rc for _, rc, _ in calls], result)
            self.assertTrue(first.wait_for(1) and second.wait_for(2))
            self.assertEqual(len(first.auth_commands), 3)
        self.assertEqual(len(endpoint.requests), 3)
        lines = [[t["text"] for t in call if t["token"] == "message"] for call in result.calls()]
        fetched = "token endpoint %s: HTTP 200" % endpoint.url()
        kept = re.compile(re.escape("token endpoint %s: kept token, " % endpoint.url())
                          + r"32\d\d s left")
        self.assertIn(fetched, lines[0])
        self.assertTrue(kept.match(lines[1][1]), lines[1])
        self.assertIn(fetched, lines[1])
        self.assertTrue(kept.match(lines[2][1]) and fetched not in lines[2], lines[2])
        self.assertEqual(lines[3][-1], "SMTP Server response code(535)")

    def test_endpoint_that_asks_to_wait_is_not_asked_again(self):
        # (Retry-After, the wait the first text names, requests for two
        # calls): seconds, an HTTP-date, none (the existing text, each time).
        date = email.utils.formatdate(time.time() + 120, usegmt=True)
        rows = [("60", (60, 60), 1), (date, (118, 120), 1), (None, None, 2)]
        for retry_after, wait, requests in rows:
            with self.subTest(retry_after=retry_after), \
                    TokenEndpoint("busy", retry_after=retry_after) as endpoint, \
                    harness.smtp_server() as smtp:
                one = statement(endpoint.url(), smtp.port, verify_test_ca())
                result = self.run_calls([one, one])
                self.assertEqual(result.returns, [1, 1], result)
                texts = [m["text"] for m in result.messages]
                if wait is None:
                    self.assertEqual(texts, ["OAuth token request failed(429)" + BUSY] * 2)
                else:
                    waits = [int(TEXT_WAIT.match(t).group(1)) for t in texts]
                    self.assertTrue(wait[0] <= waits[0] <= wait[1] and waits[1] <= waits[0], texts)
                self.assertEqual(len(endpoint.requests), requests)
                self.assertEqual(smtp.messages, [])


if __name__ == "__main__":
    harness.main()
