"""Test certificates made at run time with the openssl command.

A test certificate authority and server certificates issued by it, for
"localhost" only; each lives two days and is made in a directory of the
caller's, which the caller removes.

    authority = make_authority(directory, "test-ca")     # (key, cert)
    cert, key = make_server_certificate(directory, "server", authority)
"""

import os
import subprocess


def openssl(*args):
    subprocess.run(["openssl"] + list(args), check=True, capture_output=True, timeout=60)


def make_authority(directory, name):
    key, cert = os.path.join(directory, name + ".key"), os.path.join(directory, name + ".pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
            "-days", "2", "-subj", "/CN=mailvane %s" % name,
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    return key, cert


def make_server_certificate(directory, name, authority):
    ca_key, ca_cert = authority
    key, request = os.path.join(directory, name + ".key"), os.path.join(directory, name + ".csr")
    cert, extensions = os.path.join(directory, name + ".pem"), os.path.join(directory, name + ".ext")
    with open(extensions, "w") as f:
        f.write("subjectAltName=DNS:localhost\nextendedKeyUsage=serverAuth\n"
                "basicConstraints=CA:FALSE\nkeyUsage=digitalSignature,keyEncipherment\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", request,
            "-subj", "/CN=localhost")
    openssl("x509", "-req", "-in", request, "-CA", ca_cert, "-CAkey", ca_key,
            "-CAcreateserial", "-out", cert, "-days", "2", "-extfile", extensions)
    return cert, key
