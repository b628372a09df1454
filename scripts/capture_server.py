"""A recording SMTP server on loopback, for the demo and the delivery tests.

It is aiosmtpd (Debian's python3-aiosmtpd, run with /usr/bin/python3) with
an optional AUTH PLAIN check. Every message it accepts is kept with its
envelope: the sender, the recipients and the data bytes as received. It
listens on 127.0.0.1 (or the host given) at a free port, and stops when the
`with` block ends, or at the latest after its lifetime, so that no test or
demo can leave it running.

    with CaptureServer(user="demo", password="secret") as server:
        ... send to 127.0.0.1:server.port ...
        for mail in server.messages: print(mail.rcpt_tos)
"""

import logging
import socket
import threading
import time
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


logging.getLogger("mail.log").setLevel(logging.CRITICAL)


class Captured:
    """One accepted message: envelope and data, and the login used."""

    def __init__(self, mail_from, rcpt_tos, data, login):
        self.mail_from = mail_from
        self.rcpt_tos = list(rcpt_tos)
        self.data = data
        self.login = login


class RecordingHandler:
    """The aiosmtpd handler: keeps every accepted message on its server."""

    def __init__(self, server):
        self._server = server

    async def handle_DATA(self, server, session, envelope):
        login = session.auth_data
        if isinstance(login, bytes):
            login = login.decode("utf-8", "replace")
        self._server._add(Captured(envelope.mail_from, envelope.rcpt_tos,
                                   envelope.original_content or envelope.content, login))
        return "250 Message accepted for delivery"


class _PlainAuthenticator:
    def __init__(self, user, password):
        self._user = user.encode()
        self._password = password.encode()

    def __call__(self, server, session, envelope, mechanism, auth_data):
        ok = (mechanism == "PLAIN" and isinstance(auth_data, LoginPassword)
              and auth_data.login == self._user and auth_data.password == self._password)
        return AuthResult(success=ok, handled=False,
                          auth_data=auth_data.login if ok else None)


class _CustomAuthSmtp(SMTP):
    # A SASL response on a line of its own may hold 12288 octets (RFC 4954
    # section 4), beyond the 1001 of a command line.
    line_length_limit = 12288 + 2


class _CustomAuthController(Controller):
    def factory(self):
        return _CustomAuthSmtp(self.handler, **self.SMTP_kwargs)


def free_port(host="127.0.0.1"):
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    with socket.socket(family, socket.SOCK_STREAM) as s:
        s.bind((host, 0))
        return s.getsockname()[1]


class CaptureServer:
    """aiosmtpd on loopback; AUTH PLAIN when a user is given.

    `handler_type` replaces the recording handler with a subclass of it
    with auth_<MECHANISM> methods; it is made with the server as its one
    argument, and the server then reads SASL responses of any length RFC
    4954 allows.
    """

    def __init__(self, user=None, password="", host="127.0.0.1", lifetime=300, options=None,
                 handler_type=None):
        self.host = host
        self.port = free_port(host)
        self.messages = []
        self._lock = threading.Condition()
        kwargs = {}
        # AUTH without TLS is what the tests and the demo want on loopback.
        # (Set here: a test runner may have reset the filters since import.)
        warnings.filterwarnings("ignore", message="Requiring AUTH while not requiring TLS")
        if user is not None:
            kwargs = dict(authenticator=_PlainAuthenticator(user, password),
                          auth_require_tls=False, auth_required=True,
                          auth_exclude_mechanism=["LOGIN"])
        # Further Controller options: TLS contexts, for one.
        kwargs.update(options or {})
        # decode_data=False keeps the bytes exactly as the client sent them.
        handler = (handler_type or RecordingHandler)(self)
        controller = _CustomAuthController if handler_type else Controller
        self._controller = controller(handler, hostname=host, port=self.port,
                                      decode_data=False, ready_timeout=10, **kwargs)
        self._timer = threading.Timer(lifetime, self.stop)
        self._timer.daemon = True

    def _add(self, captured):
        with self._lock:
            self.messages.append(captured)
            self._lock.notify_all()

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
