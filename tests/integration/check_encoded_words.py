#!/usr/bin/python3
"""Decodes the encoded words that the header writer produced and compares
them with the texts they were made from.

Input: the file written by the unit test EncodedWords.WriteSamplesForTheDecoderCheck
(run with MAILVANE_WORDS_OUT=<file>), one sample a line:
    kind TAB charset TAB hex(original text) TAB hex(header block)
kind is "Subject" (the text is the subject) or "To" (the text is the display
name of the first address). Each sample must decode back to the original
through email.header.decode_header and through email.policy.default, and
every encoded word must decode on its own, strictly in its charset.
Exit status 0 when every sample passes.
"""
import email
import email.header
import email.policy
import re
import os
import subprocess
import sys
import tempfile
import tempfile

WORD = re.compile(r"=\?([^?]+)\?([QqBb])\?([^?]*)\?=")


def field_value(block, name):
    """The unfolded raw value of the named field of the header block."""
    lines = block.split("\r\n")
    value = None
    for line in lines:
        if value is not None:
            if line[:1] in (" ", "\t"):
                value += line
                continue
            break
        if line.startswith(name + ": "):
            value = line[len(name) + 2:]
    return value


def check(kind, charset, original, block):
    problems = []
    for line in block.split("\r\n"):
        if len(line.encode("ascii")) > 998:
            problems.append("line over 998 bytes")
    raw = field_value(block, kind)
    if raw is None:
        return ["no %s line" % kind]
    words = list(WORD.finditer(raw))
    for word in words:
        if len(word.group(0)) > 75:
            problems.append("word over 75 characters: %s" % word.group(0))
        try:
            (data, word_charset), = email.header.decode_header(word.group(0))
            data.decode(word_charset, "strict")
        except Exception as error:  # a word that does not decode alone
            problems.append("word %s: %s" % (word.group(0), error))

    message = email.message_from_string(block + "\r\n", policy=email.policy.default)
    if kind == "Subject":
        parts = email.header.decode_header(raw)
        decoded = "".join(p.decode(c or "ascii") if isinstance(p, bytes) else p for p, c in parts)
        if decoded != original:
            problems.append("decode_header gives %r" % decoded)
        if str(message["Subject"]) != original:
            problems.append("policy.default gives %r" % str(message["Subject"]))
    elif "\r" in original or "\n" in original:
        # The address classes refuse a display name with a line break, so
        # the name is decoded from the words before the first address.
        name = raw[:raw.index(" <a@example.com>")]
        parts = email.header.decode_header(name)
        decoded = "".join(p.decode(c or "ascii") if isinstance(p, bytes) else p for p, c in parts)
        if decoded != original:
            problems.append("decode_header gives %r" % decoded)
    else:
        # The address parser of the email package joins adjacent encoded
        # words of a display name with a space (RFC 2047 6.2 drops it), so
        # its name is compared with the words' texts joined that way.
        pieces = []
        for word in words:
            (data, word_charset), = email.header.decode_header(word.group(0))
            pieces.append(data.decode(word_charset))
        expected = " ".join(pieces)
        addresses = message["To"].addresses
        names = [a.display_name for a in addresses]
        if "".join(pieces) != original:
            problems.append("words decode to %r" % "".join(pieces))
        if len(addresses) != 2 or names[0] != expected or addresses[0].addr_spec != "a@example.com":
            problems.append("policy.default gives %r" % (addresses,))
    return problems


def main(path):
    failures = 0
    count = 0
    with open(path, encoding="ascii") as samples:
        for number, line in enumerate(samples, 1):
            kind, charset, original_hex, block_hex = line.rstrip("\n").split("\t")
            original = bytes.fromhex(original_hex).decode(charset)
            block = bytes.fromhex(block_hex).decode("ascii")
            count += 1
            problems = check(kind, charset, original, block)
            if problems:
                failures += 1
                print("sample %d (%s, %s): %s" % (number, kind, charset, "; ".join(problems[:5])))
    print("%d samples, %d failed" % (count, failures))
    return 0 if failures == 0 and count > 0 else 1


def run_and_check(argv):
    """--run [--windows-paths] COMMAND...: has the test program write the
    samples (gtest EncodedWords.WriteSamplesForTheDecoderCheck) into a
    temporary file, then checks them."""
    windows = "--windows-paths" in argv
    command = argv[argv.index("--run") + 1:]
    with tempfile.TemporaryDirectory(prefix="mailvane-words-") as directory:
        path = os.path.join(directory, "words.txt")
        env = dict(os.environ)
        env["MAILVANE_WORDS_OUT"] = "Z:" + path.replace("/", "\\") if windows else path
        subprocess.run(command + ["--gtest_filter=EncodedWords.WriteSamplesForTheDecoderCheck"],
                       env=env, check=True, timeout=300, stdout=subprocess.DEVNULL)
        return main(path)


if __name__ == "__main__":
    if "--run" in sys.argv:
        sys.exit(run_and_check(sys.argv[1:]))
    sys.exit(main(sys.argv[1]))
