"""Writes the release archive, dist/mailvane-<version>-windows.zip, from the
Windows trees that scripts/test.sh builds and checks (build/win64 and
build/win32) and the scripts and documents of the repository; run by
scripts/package.sh. It builds nothing: a file that is missing stops it.

The archive holds FILES, in their order, and SHA256SUMS last: the SHA-256
of every other file, as sha256sum writes them (sha256sum -c SHA256SUMS).
The same sources give the same archive, byte for byte: one fixed time for
every entry (the last commit's, or SOURCE_DATE_EPOCH where it is set), the
same attributes and compression, a fixed order. The version is the one of
project() in CMakeLists.txt, which the DLLs carry as well.
"""

import hashlib
import os
import re
import struct
import subprocess
import sys
import tempfile
import time
import zipfile

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# What the archive holds: (name in the archive, file in the repository).
# Never the stand-in opends60.dll beside the DLLs, nor a test program.
FILES = [
    ("x64/mailvane.dll", "build/win64/bin/mailvane.dll"),
    ("x86/mailvane.dll", "build/win32/bin/mailvane.dll"),
    ("sql/install.sql", "sql/install.sql"),
    ("sql/upgrade.sql", "sql/upgrade.sql"),
    ("sql/uninstall.sql", "sql/uninstall.sql"),
    ("sql/examples.sql", "sql/examples.sql"),
    ("README.md", "README.md"),
    ("docs/reference.md", "docs/reference.md"),
    ("docs/microsoft365.md", "docs/microsoft365.md"),
]
# The DLLs go without their DWARF debug sections, which no Windows debugger
# reads (a fifth of the size): the code, its symbol table and its version
# resource are those the tests checked. The tool of each folder's target.
STRIP = {"x64/": "x86_64-w64-mingw32-strip", "x86/": "i686-w64-mingw32-strip"}
# Where a PE file keeps the offset of its "PE\0\0" header, and where that
# header keeps the link's time stamp (after the signature, machine and
# section count).
PE_HEADER_POINTER = 0x3C
PE_TIME_STAMP = 8
SUMS = "SHA256SUMS"

# Zip times start in 1980 (MS-DOS dates): the time without a commit.
EARLIEST_ZIP_TIME = 315532800
# Files as a Unix zip tool stores them: regular, rw-r--r--.
UNIX_CREATOR = 3
FILE_MODE = 0o100644


def version():
    with open(os.path.join(REPO, "CMakeLists.txt"), encoding="utf-8") as cmake:
        match = re.search(r"^project\(mailvane VERSION (\d+\.\d+\.\d+)\b", cmake.read(),
                          re.MULTILINE)
    if not match:
        sys.exit("package: no project(mailvane VERSION x.y.z) in CMakeLists.txt")
    return match.group(1)


def archive_path():
    return os.path.join(REPO, "dist", "mailvane-%s-windows.zip" % version())


def entry_time():
    stamp = os.environ.get("SOURCE_DATE_EPOCH")
    if not stamp:
        commit = subprocess.run(["git", "-C", REPO, "log", "-1", "--format=%ct"],
                                capture_output=True, text=True)
        stamp = commit.stdout.strip() if commit.returncode == 0 else ""
    return time.gmtime(max(int(stamp or 0), EARLIEST_ZIP_TIME))[:6]


def sums_text(contents):
    return "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name)
                   for name, data in contents)


def pe_time_stamp(path):
    """The TimeDateStamp of a PE file's COFF header."""
    with open(path, "rb") as f:
        head = f.read(4096)
    header = struct.unpack_from("<I", head, PE_HEADER_POINTER)[0]
    return struct.unpack_from("<I", head, header + PE_TIME_STAMP)[0]


def read_shipped(name, path):
    """The bytes of path as the archive ships them under name."""
    tool = next((tool for folder, tool in STRIP.items() if name.startswith(folder)), None)
    if tool is None:
        with open(path, "rb") as f:
            return f.read()
    with tempfile.TemporaryDirectory() as scratch:
        stripped = os.path.join(scratch, os.path.basename(path))
        # strip stamps the PE header with the time it runs unless given
        # one: the DLL's own, from its link, keeps the archive the same.
        env = dict(os.environ, SOURCE_DATE_EPOCH=str(pe_time_stamp(path)))
        subprocess.run([tool, "--strip-debug", "-o", stripped, path], check=True, env=env)
        with open(stripped, "rb") as f:
            return f.read()


def main():
    contents = []
    for name, source in FILES:
        path = os.path.join(REPO, source)
        if not os.path.isfile(path):
            sys.exit("package: %s is missing (build and check the trees first: "
                     "bash scripts/test.sh)" % source)
        contents.append((name, read_shipped(name, path)))
    contents.append((SUMS, sums_text(contents).encode("ascii")))

    target = archive_path()
    os.makedirs(os.path.dirname(target), exist_ok=True)
    when = entry_time()
    partial = target + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data in contents:
            info = zipfile.ZipInfo(name, date_time=when)
            info.create_system = UNIX_CREATOR
            info.external_attr = FILE_MODE << 16
            archive.writestr(info, data, compress_type=zipfile.ZIP_DEFLATED, compresslevel=9)
    os.replace(partial, target)
    print(os.path.relpath(target, REPO))


if __name__ == "__main__":
    main()
