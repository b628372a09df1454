"""Checks the release archive of scripts/package.sh, after it was written.

    check_package.py OBJDUMP WINDRES

Writes the archive again and finds the same bytes; then that it holds
exactly the files of the package's table and SHA256SUMS, that every sum
holds and every other file has one, and that each DLL is the binary its
folder names (as check_binaries.py checks a tree's) and carries the
version of CMakeLists.txt. Exit status 1 when any check fails.
"""

import hashlib
import os
import subprocess
import sys
import tempfile
import zipfile

import check_binaries

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(REPO, "scripts"))
import package  # noqa: E402

PLATFORMS = {"x64/mailvane.dll": "win64", "x86/mailvane.dll": "win32"}


def main(objdump, windres):
    checks = check_binaries.Checks()
    path = package.archive_path()
    with open(path, "rb") as f:
        first = f.read()
    subprocess.run(["bash", os.path.join(REPO, "scripts", "package.sh")], check=True)
    with open(path, "rb") as f:
        checks.check(f.read() == first, "%s comes out the same, byte for byte, twice" % path)

    expected = [name for name, _ in package.FILES] + [package.SUMS]
    with zipfile.ZipFile(path) as archive, tempfile.TemporaryDirectory() as unpacked:
        checks.check(archive.namelist() == expected, "the archive holds %s and nothing else" % expected,
                     "holds %s" % archive.namelist())
        archive.extractall(unpacked)
        sums = dict(reversed(line.split("  ", 1)) for line in
                    archive.read(package.SUMS).decode("ascii").splitlines())
        found = {name: hashlib.sha256(archive.read(name)).hexdigest()
                 for name in archive.namelist() if name != package.SUMS}
        wrong = sorted(n for n in set(sums) | set(found) if sums.get(n) != found.get(n))
        checks.check(not wrong, "%s gives the sum of every other file" % package.SUMS,
                     "wrong or missing for %s" % wrong if wrong else "")
        for name, platform in PLATFORMS.items():
            dll = os.path.join(unpacked, name)
            check_binaries.check_windows(checks, platform, objdump, dll, [])
            check_binaries.check_version(checks, platform, windres, dll, package.version())
    return 1 if checks.failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
