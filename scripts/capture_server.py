"""A recording SMTP server on loopback, for the demo and the delivery tests.

It is aiosmtpd (Debian's python3-aiosmtpd, run with /usr/bin/python3) with
an optional check of the user and password (AUTH PLAIN by default; LOGIN,
the bearer token mechanisms XOAUTH2 and OAUTHBEARER, or GSSAPI and NTLM,
which it offers but never accepts, when asked). Every message it accepts is
kept with its envelope: the sender, the recipients and the data bytes as
received, and the MAIL FROM parameters; every AUTH command is kept
with what answered an error challenge. It can offer PIPELINING (which
aiosmtpd takes but does not announce) and refuse some recipients. For the
tests of a cancelled call it can fall silent after RCPT TO, read the DATA
stream slowly, or hold back its reply to the end of data. It listens on
127.0.0.1 (or the host given) at a free port, and stops when the `with`
block ends, or at the latest after its lifetime, so that no test or demo
can leave it running.

    with CaptureServer(user="demo", password="secret") as server:
        ... send to 127.0.0.1:server.port ...
        for mail in server.messages: print(mail.rcpt_tos)
"""

import asyncio
import base64
import json
import logging
import socket
import threading
import time
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


logging.getLogger("mail.log").setLevel(logging.CRITICAL)


class Captured:
    """One accepted message: envelope, MAIL FROM parameters and data, and
    the login used."""

    def __init__(self, mail_from, rcpt_tos, data, login, mail_options=()):
        self.mail_from = mail_from
        self.rcpt_tos = list(rcpt_tos)
        self.data = data
        self.login = login
        self.mail_options = list(mail_options)


class AuthCommand:
    """One AUTH command: the mechanism, whether the first response came on
    the AUTH line, what answered the error challenge (None: none sent), and
    when it came (time.monotonic())."""

    def __init__(self, mechanism, initial):
        self.mechanism = mechanism
        self.initial = initial
        self.answer = None
        self.at = time.monotonic()


# The error challenge of a refused bearer token: a base64 JSON document.
_TOKEN_ERROR = json.dumps({"status": "401", "schemes": "bearer",
                           "scope": "https://mail.example.com/"})

# What the server can offer; PLAIN and LOGIN are aiosmtpd's own.
ALL_MECHANISMS = ("PLAIN", "LOGIN", "XOAUTH2", "OAUTHBEARER", "GSSAPI", "NTLM")


def _unescape_saslname(name):
    return name.replace(b"=2C", b",").replace(b"=3D", b"=")


class _Handler:
    def __init__(self, server):
        self._server = server

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        session.host_name = hostname
        if self._server.pipelining:
            responses.insert(-1, "250-PIPELINING")
        return responses

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self._server.silent_after_rcpt:
            await asyncio.sleep(self._server.lifetime)
        if address in self._server.refused:
            return "550 5.1.1 <%s>: Recipient address rejected" % address
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(rcpt_options)
        return "250 OK"

    async def handle_AUTH(self, server, session, envelope, args):
        self._server.auth_commands.append(AuthCommand(args[0], len(args) > 1))
        return MISSING  # the mechanism's own method goes on

    async def _bearer(self, server, args, parse):
        """XOAUTH2 and OAUTHBEARER: the response (on the AUTH line or after
        an empty 334), checked by parse; a wrong one gets the error
        challenge, and whatever answers it, the refusal."""
        if len(args) > 1:
            try:
                response = base64.b64decode(args[1], validate=True)
            except ValueError:
                return AuthResult(success=False)
        else:
            response = await server.challenge_auth("")
            if response is MISSING:
                return AuthResult(success=False, handled=True)
        user, token, where = parse(response)
        expected_where = (self._server.host.encode(), str(self._server.port).encode())
        if (user == self._server.user_bytes and token == self._server.password_bytes
                and where in (None, expected_where)):
            return AuthResult(success=True, auth_data=user)
        answer = await server.challenge_auth(_TOKEN_ERROR)
        self._server.auth_commands[-1].answer = None if answer is MISSING else answer
        return AuthResult(success=False, handled=answer is MISSING)

    async def auth_XOAUTH2(self, server, args):
        def parse(response):
            fields = dict(f.split(b"=", 1) for f in response.split(b"\x01") if b"=" in f)
            return fields.get(b"user"), fields.get(b"auth", b"")[len(b"Bearer "):], None
        return await self._bearer(server, args, parse)

    async def auth_OAUTHBEARER(self, server, args):
        def parse(response):
            header, _, pairs = response.partition(b"\x01")
            user = _unescape_saslname(header[len(b"n,a="):-1]) if header.startswith(b"n,a=") else None
            fields = dict(f.split(b"=", 1) for f in pairs.split(b"\x01") if b"=" in f)
            return (user, fields.get(b"auth", b"")[len(b"Bearer "):],
                    (fields.get(b"host"), fields.get(b"port")))
        return await self._bearer(server, args, parse)

    # Offered where a server asks for them, never accepted.
    async def auth_GSSAPI(self, server, args):
        return AuthResult(success=False)

    async def auth_NTLM(self, server, args):
        return AuthResult(success=False)

    async def handle_DATA(self, server, session, envelope):
        login = session.auth_data
        if isinstance(login, bytes):
            login = login.decode("utf-8", "replace")
        await asyncio.sleep(self._server.end_of_data_delay)
        queued = self._server._add(Captured(envelope.mail_from, envelope.rcpt_tos,
                                            envelope.original_content or envelope.content, login,
                                            envelope.mail_options))
        if self._server.data_reply:
            return self._server.data_reply
        # A queue id, as relays name the mail they took in their final reply.
        return "250 2.0.0 Ok: queued as M%05d" % queued


class _PasswordAuthenticator:
    def __init__(self, user, password):
        self._user = user.encode()
        self._password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (mechanism in ("PLAIN", "LOGIN") and isinstance(auth_data, LoginPassword)
              and auth_data.login == self._user and auth_data.password == self._password)
        return AuthResult(success=ok, handled=False,
                          auth_data=auth_data.login if ok else None)


class _PacedReader:
    """A stream reader that hands out at most `rate` bytes a second."""

    def __init__(self, reader, rate):
        self._reader, self._rate, self._owed = reader, rate, 0.0

    async def _pace(self, data):
        self._owed += len(data) / self._rate
        if self._owed >= 0.05:
            await asyncio.sleep(self._owed)
            self._owed = 0.0
        return data

    async def readuntil(self, *args):
        return await self._pace(await self._reader.readuntil(*args))

    async def read(self, *args):
        return await self._pace(await self._reader.read(*args))

    def __getattr__(self, name):
        return getattr(self._reader, name)


class _LongLineSMTP(SMTP):
    # A response after a 334 may be 12288 octets long (RFC 4954 section 4).
    line_length_limit = 12288 + 2

    async def smtp_DATA(self, arg):
        server = getattr(self.event_handler, "_server", None)
        reader = self._reader
        if server is not None and server.data_rate:
            self._reader = _PacedReader(reader, server.data_rate)
        try:
            await super().smtp_DATA(arg)
        finally:
            self._reader = reader

    def connection_lost(self, error):
        # When the client's connection ended, as the server saw it: a
        # client's own time is no measure where its process is slow to go.
        server = getattr(self.event_handler, "_server", None)
        if server is not None:
            server.closed_at.append(time.monotonic())
        super().connection_lost(error)


class _Controller(Controller):
    def factory(self):
        return _LongLineSMTP(self.handler, **self.SMTP_kwargs)


def free_port(host="127.0.0.1"):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    with socket.socket(family, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


class CaptureServer:
    """aiosmtpd on loopback; AUTH when a user is given.

    `mechanisms` are the AUTH mechanisms offered to a user (PLAIN when not
    given), from ALL_MECHANISMS; for XOAUTH2 and OAUTHBEARER the password is
    the bearer token. `.auth_commands` lists the AUTH commands received.
    With `pipelining` the EHLO reply announces PIPELINING; the addresses in
    `refused` get a 550 to their RCPT TO. With `silent_after_rcpt` RCPT TO
    gets no reply; `data_rate` (bytes a second) paces the reading of the
    DATA stream; `end_of_data_delay` (seconds) holds back the reply to the
    end of data. With `data_reply` every message is kept, then refused with
    that reply to the end of data.
    """

    def __init__(self, user=None, password="", host="127.0.0.1", lifetime=300, options=None,
                 mechanisms=None, pipelining=False, refused=(), silent_after_rcpt=False,
                 data_rate=None, end_of_data_delay=0, data_reply=None):
        self.host = host
        self.lifetime = lifetime
        self.silent_after_rcpt = silent_after_rcpt
        self.data_rate = data_rate
        self.end_of_data_delay = end_of_data_delay
        self.data_reply = data_reply
        self.pipelining = pipelining
        self.refused = set(refused)
        self.port = free_port(host)
        self.messages = []
        self.auth_commands = []
        self.closed_at = []
        self.user_bytes = user.encode() if user is not None else None
        self.password_bytes = password.encode()
        self._lock = threading.Condition()
        kwargs = {}
        # AUTH without TLS is what the tests and the demo want on loopback.
        # (Set here: a test runner may have reset the filters since import.)
        warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")
        offered = mechanisms or ["PLAIN"]
        if user is None:
            offered = ["PLAIN", "LOGIN"]  # aiosmtpd's own, never accepted
        excluded = [m for m in ALL_MECHANISMS if m not in offered]
        kwargs = dict(auth_exclude_mechanism=excluded)
        if user is not None:
            kwargs.update(authenticator=_PasswordAuthenticator(user, password),
                          auth_require_tls=False, auth_required=True)
        # Further Controller options: TLS contexts, for one.
        kwargs.update(options or {})
        # decode_data=False keeps the bytes exactly as the client sent them.
        self._controller = _Controller(_Handler(self), hostname=host, port=self.port,
                                      decode_data=False, ready_timeout=10, **kwargs)
        self._timer = threading.Timer(lifetime, self.stop)
        self._timer.daemon = True

    def _add(self, captured):
        """Keeps `captured`; returns how many messages arrived so far."""
        with self._lock:
            self.messages.append(captured)
            self._lock.notify_all()
            return len(self.messages)

    def wait_for(self, count, timeout=10.0):
        """Waits until count messages arrived; returns whether they did."""
        deadline = time.monotonic() + timeout
        with self._lock:
            while len(self.messages) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self._lock.wait(left)
        return True

    def start(self):
        self._controller.start()
        self._timer.start()
        return self

    def stop(self):
        self._timer.cancel()
        try:
            self._controller.stop()
        except (AssertionError, RuntimeError):
            pass  # already stopped

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
        return False
