"""Checks what the built procedure library shows the system that loads it.

    check_binaries.py [--version VERSION TOOL] linux NM LIBRARY
    check_binaries.py [--version VERSION TOOL] win32|win64 OBJDUMP DLL [PROGRAM...]

Linux: the library exports exactly `mailvane`, `mailvane_profile` and
`__GetXpVersion` (nm -D --defined-only). Windows: the DLL is a PE32 file for
i386 (win32) or a PE32+ file for x86-64 (win64); it exports exactly those
three names,
undecorated, and nothing by ordinal alone; it imports only from Windows
system DLLs (an allow-list) and OPENDS60.dll, never from a mingw-w64
runtime DLL. Its symbol table (objdump -t) holds nothing of winpthreads
or of emulated TLS (emutls): both keep per-thread state that calls abort()
when an allocation fails and outlives an unload. Each PROGRAM (xpexec, the
stand-in, the test program) must need no mingw-w64 runtime DLL either, so
that it runs where the DLL runs, and contains nothing of winpthreads (they
may keep the C++ runtime's emulated TLS: they are never unloaded).
With --version, the library carries VERSION, the build's: read back by
TOOL, readelf from its version note on Linux, windres from its version
resource (file and product version, original file name) on Windows.

Prints one line per check; exit status 1 when any fails.
"""

import re
import subprocess
import sys

EXPORTS = {"mailvane", "mailvane_profile", "__GetXpVersion"}

# What Windows itself provides to every process, and what the procedure
# may use of it. Compared without case, as Windows compares DLL names.
SYSTEM_DLLS = {
    "kernel32.dll", "msvcrt.dll", "ole32.dll", "oleaut32.dll", "ws2_32.dll",
    "advapi32.dll", "secur32.dll", "crypt32.dll", "user32.dll", "shell32.dll",
    "ntdll.dll", "bcrypt.dll", "mswsock.dll", "shlwapi.dll", "rpcrt4.dll", "winhttp.dll",
}
# SQL Server's ODS library: the server provides it, the DLL may import it.
SERVER_DLLS = {"opends60.dll"}
# The mingw-w64 runtime: linked statically, so never imported.
RUNTIME_DLL = re.compile(r"^(libstdc\+\+-\d+|libgcc_s_.*|libwinpthread-\d+|libssp-\d+)\.dll$",
                         re.IGNORECASE)

FORMATS = {"win32": "pei-i386", "win64": "pei-x86-64"}

# Symbols of winpthreads and of emulated TLS, as the symbol table shows
# them (an x86 name has one more leading underscore).
WINPTHREADS_SYMBOL = re.compile(r"\s_*(pthread_|sched_yield|winpthread)")
EMUTLS_SYMBOL = re.compile(r"\s(\.data\$)?_*emutls")


class Checks:
    def __init__(self):
        self.failed = 0

    def check(self, ok, what, detail=""):
        print("%s: %s%s" % ("ok" if ok else "FAILED", what, (" (%s)" % detail) if detail else ""))
        if not ok:
            self.failed += 1


def tool_output(*command):
    return subprocess.run(command, check=True, capture_output=True, text=True).stdout


def elf_exports(nm, library):
    """Names of the defined dynamic symbols, without version nodes."""
    names = set()
    for line in tool_output(nm, "-D", "--defined-only", library).splitlines():
        fields = line.split()
        if len(fields) >= 3 and fields[1] != "A":
            names.add(fields[2].split("@")[0])
    return names


def pe_format(dump):
    match = re.search(r"file format (\S+)", dump)
    return match.group(1) if match else None


def pe_imports(dump):
    return re.findall(r"^\s*DLL Name: (\S+)", dump, re.MULTILINE)


def pe_exports(dump):
    """(names in the name table, number of entries in the address table)."""
    names, addresses = [], 0
    section = None
    for line in dump.splitlines():
        if line.startswith("Export Address Table --"):
            section = "addresses"
        elif line.startswith("[Ordinal/Name Pointer] Table"):
            section = "names"
        elif not line.strip():
            section = None
        elif section == "addresses" and re.match(r"^\s*\[\s*\d+\]", line):
            addresses += 1
        elif section == "names":
            match = re.match(r"^\s*\[\s*\d+\]\s+(\S+)", line)
            if match:
                names.append(match.group(1))
    return names, addresses


def check_linux(checks, nm, library):
    names = elf_exports(nm, library)
    checks.check(names == EXPORTS, "%s exports exactly %s" % (library, sorted(EXPORTS)),
                 "exports %s" % sorted(names))


def check_windows(checks, platform, objdump, dll, programs):
    dump = tool_output(objdump, "-p", dll)
    found = pe_format(dump)
    checks.check(found == FORMATS[platform], "%s is %s" % (dll, FORMATS[platform]),
                 "file format %s" % found)

    names, addresses = pe_exports(dump)
    checks.check(sorted(names) == sorted(EXPORTS) and addresses == len(names),
                 "%s exports exactly %s, by name" % (dll, sorted(EXPORTS)),
                 "names %s, %d address entries" % (names, addresses))

    imports = pe_imports(dump)
    unexpected = [d for d in imports if d.lower() not in SYSTEM_DLLS | SERVER_DLLS]
    checks.check(not unexpected, "%s imports only system DLLs and OPENDS60.dll" % dll,
                 "imports %s" % imports)

    check_symbols(checks, objdump, dll, {"winpthreads": WINPTHREADS_SYMBOL,
                                         "emutls": EMUTLS_SYMBOL})

    for program in programs:
        runtime = [d for d in pe_imports(tool_output(objdump, "-p", program))
                   if RUNTIME_DLL.match(d)]
        checks.check(not runtime, "%s needs no mingw-w64 runtime DLL" % program,
                     "imports %s" % runtime if runtime else "")
        check_symbols(checks, objdump, program, {"winpthreads": WINPTHREADS_SYMBOL})


def check_symbols(checks, objdump, binary, forbidden):
    """The symbol table of binary has one, and no name of forbidden's kinds."""
    table = [line for line in tool_output(objdump, "-t", binary).splitlines()
             if line.startswith("[")]
    checks.check(bool(table), "%s has a symbol table to inspect" % binary)
    for kind, pattern in forbidden.items():
        found = sorted({line.split()[-1] for line in table if pattern.search(line)})
        checks.check(not found, "%s holds nothing of %s" % (binary, kind),
                     ", ".join(found[:5]))


def windows_version(windres, dll):
    """The FILEVERSION numbers ("1.0.0.0") and the string values of the
    DLL's version resource, as windres reads them back; (None, {}) when it
    has none."""
    rc = subprocess.run([windres, "-i", dll, "-O", "rc"], capture_output=True, text=True).stdout
    fixed = re.search(r"^\s*FILEVERSION (\d+), (\d+), (\d+), (\d+)$", rc, re.MULTILINE)
    return (".".join(fixed.groups()) if fixed else None,
            dict(re.findall(r'^\s*VALUE "(\w+)", "(.*)"$', rc, re.MULTILINE)))


def check_version(checks, platform, tool, library, version):
    if platform == "linux":
        note = re.search(r"^\s*mailvane\s+0x\w+\s+NT_VERSION\b[^\n]*?\n?\s*description data: ([0-9a-f ]+)",
                         tool_output(tool, "-n", "--wide", library), re.MULTILINE)
        found = bytes.fromhex(note.group(1)).rstrip(b"\0").decode() if note else None
        checks.check(found == version, "%s carries version %s in its note" % (library, version),
                     "note %s" % found)
        return
    fixed, strings = windows_version(tool, library)
    wanted = {"FileVersion": version, "ProductVersion": version, "OriginalFilename": "mailvane.dll"}
    shown = {name: strings.get(name) for name in wanted}
    checks.check(fixed == version + ".0" and shown == wanted,
                 "%s carries version %s in its version resource" % (library, version),
                 "FILEVERSION %s, %s" % (fixed, shown))


def main(argv):
    version = None
    if argv[:1] == ["--version"]:
        version, argv = argv[1:3], argv[3:]
    if len(argv) < 3 or argv[0] not in ("linux", "win32", "win64"):
        print(__doc__, file=sys.stderr)
        return 2
    checks = Checks()
    if argv[0] == "linux":
        check_linux(checks, argv[1], argv[2])
    else:
        check_windows(checks, argv[0], argv[1], argv[2], argv[3:])
    if version:
        check_version(checks, argv[0], version[1], argv[2], version[0])
    return 1 if checks.failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
