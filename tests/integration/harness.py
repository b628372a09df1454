"""What every integration test shares: running xpexec, and an SMTP server.

An integration test is a file tests/integration/test_<subject>.py holding
unittest test cases; ctest runs each such file (tests.cmake registers every
one for every build that can run its programs) as

    /usr/bin/python3 test_<subject>.py XPEXEC-COMMAND... --

where XPEXEC-COMMAND is how this build's xpexec is started: build/linux/bin/
xpexec on Linux; scripts/wine-run.sh PREFIX WINE64 build/win64/bin/
xpexec.exe for the x64 Windows build. The file ends with

    if __name__ == "__main__":
        harness.main()

which takes the command off the argument list and runs the file's tests.
Run by hand without a command, it uses build/linux/bin/xpexec.

In a test:

    result = harness.run("EXEC mailvane @server = '127.0.0.1'")
    result.exit_status        # 0, 1 or 2
    result.messages           # the message tokens, as dicts
    result.dones, result.returns

    with harness.smtp_server(user="u", password="p") as server:
        harness.run(... "@port = %d" % server.port ...)
        server.wait_for(1)
        server.messages[0].mail_from, .rcpt_tos, .data (bytes)

File names handed to the procedure must be names on the procedure's own
system: harness.procedure_path(path) gives the Windows name of a local
file when the build runs under Wine; harness.write_files(folder, files)
writes files and gives their names so.

Every run has a time limit (a test fails, never hangs), and every server
listens on loopback, has a lifetime and is stopped when its block ends.
"""

import json
import os
import signal
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(REPO, "scripts"))
from capture_server import CaptureServer, free_port  # noqa: E402,F401
import package  # noqa: E402

# Long enough for Wine to start a process on a busy 2-core machine; the
# procedure's own waits (10 s connect per address) stay well inside it.
DEFAULT_TIMEOUT = 60.0

# The command that starts this build's xpexec; set by main().
XPEXEC = [os.path.join(REPO, "build", "linux", "bin", "xpexec")]

# The same locale wherever the tests run, so that text leaves xpexec the
# same way in a developer's shell and in CI. A test may pass its own env.
FIXED_LOCALE = {"LC_ALL": "C.UTF-8", "LANG": "C.UTF-8"}


def is_windows_build():
    """True when xpexec is the Windows build (run under Wine)."""
    return any(part.lower().endswith(".exe") for part in XPEXEC)


def trace_headline():
    """The first line of every trace: the build's version and platform."""
    return "mailvane %s (%s)" % (package.version(), "x64" if is_windows_build() else "linux")


def procedure_path(path):
    """The name the procedure's system gives the local file `path`.

    Under Wine the whole Linux file system is drive Z:.
    """
    path = os.path.abspath(path)
    if is_windows_build():
        return "Z:" + path.replace("/", "\\")
    return path


def write_files(folder, files):
    """Writes each {name: bytes} of `files` into `folder`; returns the
    procedure's names of the files, in order."""
    paths = []
    for name, data in files.items():
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(procedure_path(path))
    return paths


def tool_command(name):
    """The command that starts the test program `name` of this build, which
    lies beside xpexec, started as xpexec is (under Wine for Windows)."""
    *wrapper, xpexec = XPEXEC
    program = name + ".exe" if is_windows_build() else name
    return wrapper + [os.path.join(os.path.dirname(xpexec), program)]


def sql_text(value):
    """`value` as a T-SQL string literal: 'text' with quotes doubled."""
    return "'" + value.replace("'", "''") + "'"


class Result:
    """What one xpexec run gave: its tokens, exit status and error output."""

    def __init__(self, exit_status, stdout, stderr, tokens=True):
        self.exit_status = exit_status
        self.stdout = stdout
        self.stderr = stderr
        self.tokens = []
        if not tokens:
            return
        for line in stdout.decode("utf-8", "replace").splitlines():
            line = line.strip()
            if line:
                self.tokens.append(json.loads(line))

    def of_kind(self, kind):
        return [t for t in self.tokens if t.get("token") == kind]

    @property
    def messages(self):
        return self.of_kind("message")

    @property
    def dones(self):
        return self.of_kind("done")

    @property
    def attention(self):
        """What --cancel-after reported: {"after_ms", "returned_ms"}, or None."""
        found = self.of_kind("attention")
        return found[0] if found else None

    @property
    def returns(self):
        return [t["value"] for t in self.of_kind("return")]

    def calls(self):
        """The tokens split per call: each list ends with its return."""
        calls, current = [], []
        for token in self.tokens:
            current.append(token)
            if token.get("token") == "return":
                calls.append(current)
                current = []
        if current:
            calls.append(current)
        return calls

    def __repr__(self):
        return "Result(exit=%r, tokens=%r, stderr=%r)" % (
            self.exit_status, self.tokens, self.stderr[-500:])


def run(statements, *options, timeout=DEFAULT_TIMEOUT, env=None, tokens=True):
    """Runs xpexec on `statements` (text or bytes, given on standard input).

    `options` are further xpexec options (for example "--dll", path).
    Standard input carries the statements byte for byte, whatever the
    locale of the command line. Kills xpexec and fails when it runs longer
    than `timeout` seconds.
    """
    if isinstance(statements, str):
        statements = statements.encode("utf-8")
    command = list(XPEXEC) + (["--tokens"] if tokens else []) + list(options)
    environment = dict(os.environ)
    environment.update(FIXED_LOCALE)
    if env:
        environment.update(env)
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=environment,
                               start_new_session=True)
    try:
        stdout, stderr = process.communicate(statements, timeout=timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.communicate()
        raise AssertionError("xpexec ran longer than %s s: %r" % (timeout, command))
    return Result(process.returncode, stdout, stderr, tokens)


def assert_failed(test, result, text, prefix=False):
    """Checks in unittest case `test` that `result` is one failed call with
    one message: `text`, or with `prefix`, a text that starts with it."""
    test.assertEqual(result.exit_status, 1, result)
    test.assertEqual(len(result.messages), 1, result)
    message = result.messages[0]["text"]
    if prefix:
        test.assertTrue(message.startswith(text), message)
    else:
        test.assertEqual(message, text)


# The longest a cancelled call may take to return after its attention.
CANCEL_BOUND_MS = 500


def assert_cancelled(test, result, what):
    """Checks that the call of `result`, run with --cancel-after, reported
    "Call cancelled" and returned within CANCEL_BOUND_MS of its attention;
    the time it took goes to standard error, named by `what`."""
    assert_failed(test, result, "Call cancelled")
    test.assertIsNotNone(result.attention, result)
    returned = result.attention["returned_ms"]
    sys.stderr.write("cancelled %s: returned %d ms after the attention\n" % (what, returned))
    test.assertLess(returned, CANCEL_BOUND_MS, result)


def verify_test_ca():
    """The @tls_verify value for a server whose certificate comes from a test
    authority: None (the check) where the test makes the authority the
    system's (SSL_CERT_FILE on Linux), 'no' where it cannot (Windows)."""
    return "no" if is_windows_build() else None


def smtp_server(user=None, password="", host="127.0.0.1", lifetime=120, options=None,
                mechanisms=None, pipelining=False, refused=(), **behaviour):
    """A recording SMTP server on loopback, for a `with` block.

    aiosmtpd at a free port; with `user`, AUTH is required and only that
    user and password are accepted, through the `mechanisms` offered (AUTH
    PLAIN when not given; for XOAUTH2 and OAUTHBEARER the password is the
    bearer token). `.messages` lists what arrived (mail_from, rcpt_tos, data
    bytes as received, login); `.auth_commands` the AUTH commands
    (mechanism, initial, answer); `.wait_for(n, timeout)` waits for n
    messages. It stops when the block ends, and at the latest after
    `lifetime` seconds.
    `options` are further aiosmtpd Controller options (tls_context=,
    ssl_context=, require_starttls=). With `pipelining` the EHLO reply
    announces PIPELINING; the addresses in `refused` get a 550 to RCPT TO;
    `.messages[i].mail_options` are the MAIL FROM parameters. `behaviour`:
    silent_after_rcpt=, data_rate=, end_of_data_delay= (see CaptureServer);
    with data_reply= each message is kept and then refused with that reply.
    """
    return CaptureServer(user=user, password=password, host=host, lifetime=lifetime,
                         options=options, mechanisms=mechanisms, pipelining=pipelining,
                         refused=refused, **behaviour)


def main():
    """Runs the calling test file: argv is XPEXEC-COMMAND... [-- UNITTEST-ARGS]."""
    global XPEXEC
    args = sys.argv[1:]
    if "--" in args:
        split = args.index("--")
        command, rest = args[:split], args[split + 1:]
    else:
        command, rest = args, []
    if command:
        XPEXEC = command
    unittest.main(module="__main__", argv=[sys.argv[0]] + rest, verbosity=2)
