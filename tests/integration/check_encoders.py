#!/usr/bin/python3
"""Decodes the attachment encoders' output with Python's own decoders.

The unit test EncoderSamples.WriteForTheDecoderCheck writes, into the
directory named by MAILVANE_ENCODER_SAMPLES, each sample's data
(<size>.bin) and the content of its attachment part in every encoding, with
and without the SMTP flag (<encoding>-<flags>-<size>.txt). This script runs
that test (the command after --run) into a fresh directory, then checks that
every content decodes to its data and keeps the line rules: CR LF line ends
only, base64 lines of 76 characters, quoted-printable lines of at most 68,
uuencode lines of at most 62 and a "." that begins a line doubled under the
SMTP flag (undone here as the server would).

  check_encoders.py [--windows-paths] --run <test binary command...>

--windows-paths passes the directory as Z:\\... for a Windows build under
Wine. Exit status 0 when every sample checks out.
"""
import base64
import binascii
import os
import quopri
import subprocess
import sys
import tempfile

SMTP_FLAG = 8


def lines_of(content, name):
    """Splits at CR LF; no bare CR or LF may remain."""
    if content and not content.endswith(b"\r\n"):
        parts = content.split(b"\r\n")
        last = parts.pop()
    else:
        parts = content.split(b"\r\n")[:-1] if content else []
        last = None
    for line in parts + ([last] if last is not None else []):
        if b"\r" in line or b"\n" in line:
            raise AssertionError(f"{name}: bare CR or LF")
    return parts, last


def unstuff(lines, smtp):
    """Undoes SMTP transparency: a line starting with "." lost one dot."""
    out = []
    for line in lines:
        if line.startswith(b"."):
            if not smtp:
                pass
            elif not line.startswith(b".."):
                raise AssertionError("a leading dot was not doubled")
            else:
                line = line[1:]
        out.append(line)
    return out


def check_base64(content, data, smtp, name):
    lines, last = lines_of(content, name)
    if last is not None:
        raise AssertionError(f"{name}: base64 must end with CR LF")
    lines = unstuff(lines, smtp)
    body = list(lines)
    # Every line is 76 characters except the last non-empty one, and an
    # empty line closes a size that is a multiple of 57.
    if len(data) % 57 == 0:
        if body[-1] != b"":
            raise AssertionError(f"{name}: no closing empty line")
        body = body[:-1]
    for line in body[:-1]:
        if len(line) != 76:
            raise AssertionError(f"{name}: line of {len(line)} characters")
    if body and not 0 < len(body[-1]) <= 76:
        raise AssertionError(f"{name}: last line of {len(body[-1])}")
    decoded = base64.b64decode(b"".join(body), validate=True)
    if decoded != data:
        raise AssertionError(f"{name}: decodes to other data")


def check_quoted_printable(content, data, smtp, name):
    lines, last = lines_of(content, name)
    lines = unstuff(lines + ([last] if last is not None else []), smtp)
    for line in lines:
        if len(line) > 68:
            raise AssertionError(f"{name}: line of {len(line)} characters")
    for line in lines[:len(lines) - (1 if last is not None else 0)]:
        if not line.endswith(b"="):
            raise AssertionError(f"{name}: hard line break")
    text = b"\r\n".join(lines) + (b"" if last is not None or not lines else b"\r\n")
    decoded = quopri.decodestring(text)
    if decoded != data:
        raise AssertionError(f"{name}: decodes to other data")


def check_uuencode(content, data, smtp, name):
    lines, last = lines_of(content, name)
    if last is not None:
        raise AssertionError(f"{name}: uuencode must end with CR LF")
    if not lines[0].startswith(b"begin 666 "):
        raise AssertionError(f"{name}: no begin line")
    if lines[-2:] != [b"`", b"end"]:
        raise AssertionError(f"{name}: no end lines")
    body = unstuff(lines[1:-2], smtp)
    decoded = b""
    for line in body:
        if len(line) > 61:
            raise AssertionError(f"{name}: line of {len(line)} characters")
        count = line[0] - 32
        if not 1 <= count <= 45 or len(line) != 1 + (count + 2) // 3 * 4:
            raise AssertionError(f"{name}: line length does not match its count")
        # A short last group is filled with spaces, which Python's decoder
        # would call garbage: decode the whole group and check the fill.
        whole = (count + 2) // 3 * 3
        group = binascii.a2b_uu(bytes([32 + whole]) + line[1:])
        if group[count:] != b" " * (whole - count):
            raise AssertionError(f"{name}: group not filled with spaces")
        decoded += group[:count]
    if decoded != data:
        raise AssertionError(f"{name}: decodes to other data")


CHECKS = {
    "base64": check_base64,
    "quoted-printable": check_quoted_printable,
    "uuencode": check_uuencode,
}


def check_dir(directory):
    failures = 0
    checked = 0
    for entry in sorted(os.listdir(directory)):
        if not entry.endswith(".txt"):
            continue
        encoding, flags, size = entry[:-4].rsplit("-", 2)
        with open(os.path.join(directory, size + ".bin"), "rb") as f:
            data = f.read()
        with open(os.path.join(directory, entry), "rb") as f:
            content = f.read()
        try:
            CHECKS[encoding](content, data, int(flags) & SMTP_FLAG != 0, entry)
            checked += 1
        except (AssertionError, binascii.Error, ValueError) as e:
            print("FAIL", entry, e)
            failures += 1
    print(f"{checked} samples decoded, {failures} failed")
    return failures == 0 and checked > 0


def main(argv):
    windows = "--windows-paths" in argv
    if "--run" not in argv:
        print(__doc__)
        return 2
    command = argv[argv.index("--run") + 1:]
    with tempfile.TemporaryDirectory(prefix="mailvane-samples-") as directory:
        env = dict(os.environ)
        env["MAILVANE_ENCODER_SAMPLES"] = (
            "Z:" + directory.replace("/", "\\") if windows else directory)
        subprocess.run(command + ["--gtest_filter=EncoderSamples.*"], env=env, check=True,
                       timeout=300, stdout=subprocess.DEVNULL)
        return 0 if check_dir(directory) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
