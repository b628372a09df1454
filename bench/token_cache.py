"""Time per mail and token requests, with the token cache and without it.

One xpexec process sends MAILS mails, each call fetching its credential
with @oauth_token_url from the local HTTPS token endpoint of
tests/integration/test_oauth.py (a token that lives an hour) and
authenticating with XOAUTH2 to aiosmtpd, both on loopback:

- cached: every call gives the same client secret, so the calls share one
  key and the token kept for it;
- bypassed: every call gives a client secret of its own (the endpoint
  does not check secrets, the SMTP server checks only the token), so no
  two calls share a key and each one fetches, as every call did before
  the cache. The cache is still asked, and fills and evicts: that is the
  cost of a miss.

Both rows run in the same run, one after the other, on the same servers.

    /usr/bin/python3 bench/token_cache.py XPEXEC [MAILS]
"""

import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "integration"))
import test_oauth  # noqa: E402
from test_oauth import CLIENT_ID, SECRET, TOKEN, USER  # noqa: E402
from harness import smtp_server  # noqa: E402

# One xpexec run at most.
RUN_LIMIT_S = 600


def statement(url, port, secret):
    return ("EXEC master..mailvane @server = '127.0.0.1', @port = '%d', @from = '%s', "
            "@recipients = 'ann@example.com', @subject = 'bench', @message = 'Hello.', "
            "@user = '%s', @pwd = '%s', @oauth_token_url = '%s', @oauth_client_id = '%s'"
            % (port, USER, USER, secret, url, CLIENT_ID))


def measure(label, xpexec, endpoint, smtp, secrets):
    before_requests, before_mails = len(endpoint.requests), len(smtp.messages)
    statements = "\n".join(statement(endpoint.url(), smtp.port, s) for s in secrets)
    env = dict(os.environ, SSL_CERT_FILE=test_oauth.CERTS["ca"])
    start = time.monotonic()
    run = subprocess.run([xpexec, "--tokens"], input=statements.encode(), capture_output=True,
                         env=env, timeout=RUN_LIMIT_S)
    elapsed = time.monotonic() - start
    smtp.wait_for(before_mails + len(secrets))
    mails = len(smtp.messages) - before_mails
    status = "ok" if run.returncode == 0 and mails == len(secrets) else \
        "FAILED (exit %d, %d delivered)" % (run.returncode, mails)
    print("%-10s %4d mails %8.2f ms/mail %5d token requests  %s"
          % (label, len(secrets), 1000 * elapsed / len(secrets),
             len(endpoint.requests) - before_requests, status))


def main():
    xpexec = sys.argv[1]
    mails = int(sys.argv[2]) if len(sys.argv) > 2 else 100
    test_oauth.setUpModule()
    try:
        with test_oauth.TokenEndpoint(lifetime=RUN_LIMIT_S) as endpoint, \
                smtp_server(user=USER, password=TOKEN, mechanisms=["XOAUTH2"],
                            lifetime=RUN_LIMIT_S) as smtp:
            measure("cached", xpexec, endpoint, smtp, [SECRET] * mails)
            measure("bypassed", xpexec, endpoint, smtp,
                    ["%s-%d" % (SECRET, i) for i in range(mails)])
    finally:
        test_oauth.tearDownModule()


if __name__ == "__main__":
    main()
