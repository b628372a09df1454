#!/usr/bin/env bash
# The test command: builds everything and runs every test.
#
#   bash scripts/test.sh
#
# 1. Installs the Debian packages the build and the tests need, when any is
#    missing (apt-get, as root; nothing is fetched when all are there).
# 2. Configures and builds these trees, warnings as errors:
#      build/linux   the Linux library, xpexec and the tests (with xpexec
#                    under valgrind's memcheck among them)
#      build/asan    the same with clang, AddressSanitizer (leaks included)
#                    and UndefinedBehaviorSanitizer
#      build/tsan    the same with clang and ThreadSanitizer
#      build/fuzz    the libFuzzer targets of tests/fuzz (ASan + UBSan)
#      build/win64   the x64 Windows DLL, xpexec.exe and the tests
#      build/win32   the x86 Windows DLL and the programs beside it (built
#                    and inspected only: this machine runs no 32-bit
#                    Windows code)
#    The sanitizer trees build only what their tests run.
# 3. Runs ctest in each: Linux natively, the sanitizer trees natively with
#    every finding fatal (a tree also fails when any sanitizer report was
#    written, see cmake/sanitize.cmake), each fuzz target for
#    FUZZ_SECONDS (default 30), win64 under Wine64 (one persistent
#    wineserver for the whole run, so no test pays Wine's start-up twice),
#    win32 its binary checks.
# 4. When both Windows trees passed: writes the release archive from them
#    (scripts/package.sh, dist/mailvane-<version>-windows.zip), and
#    checks it (tests/integration/check_package.py: written twice, the
#    same bytes; its files, sums and DLL versions).
#
# Prints ctest's summary for each tree; exits non-zero when anything failed.
# ctest's full output is kept in build/<tree>/ctest.log.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
source scripts/common.sh

# Two cores on the project's machines: one job each.
jobs=2
wine64=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver64
packages=(
  cmake ninja-build g++ googletest
  # The -win32 thread model mingw-w64 compilers: no winpthreads, no emutls.
  g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 binutils-mingw-w64
  wine64 python3 python3-aiosmtpd media-types libssl-dev file openssl
  # The token fetch: libcurl over OpenSSL, and RapidJSON's headers.
  libcurl4-openssl-dev rapidjson-dev
  # Wine's SChannel does its TLS through GnuTLS, which wine64 only recommends.
  libgnutls30
  clang libclang-rt-14-dev valgrind
  # /usr/bin/time: the peak memory of a call, in the delivery tests.
  time
  # A private Postfix relay with Cyrus SASL (sasldb, PLAIN) for the
  # delivery test against a real MTA; saslpasswd2 comes with sasl2-bin.
  postfix sasl2-bin libsasl2-modules
)
# Seconds each fuzz target runs.
fuzz_seconds=${FUZZ_SECONDS:-30}
# The trees built with clang and sanitizers, and what each builds: what
# its tests run, nothing more (GoogleTest's own tests never).
clang_args=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++)
sanitized_targets=(mailvane mailvane_ods_standin xpexec mailvane_tests tls_send reload_send)

started=$SECONDS
failures=()

say() { printf '\n== %s\n' "$*"; }
elapsed() { printf '%ds' $((SECONDS - $1)); }


# build TREE [TOOLCHAIN [TARGET...]]: configures build/TREE and builds the
# targets (all by default); false on failure. The cmake options in the
# array configure_args, when set, are added.
configure_args=()
build() {
  local tree=$1 toolchain=${2:-} t0=$SECONDS
  local targets=("${@:3}")
  local args=(-S . -B "build/$tree" -G Ninja -DMAILVANE_WERROR=ON "${configure_args[@]}")
  [[ -n $toolchain ]] && args+=("-DCMAKE_TOOLCHAIN_FILE=$repo/cmake/$toolchain.cmake")
  say "$tree: configure and build"
  if ! cmake "${args[@]}" >"build/$tree.configure.log" 2>&1; then
    cat "build/$tree.configure.log"
    failures+=("$tree: configure")
    return 1
  fi
  if ! ninja -C "build/$tree" -j"$jobs" "${targets[@]}" >"build/$tree/build.log" 2>&1; then
    # The compiler's messages, without the lines of files that compiled.
    grep -v '^\[[0-9]*/[0-9]*\] ' "build/$tree/build.log" | tail -n 200
    failures+=("$tree: build")
    return 1
  fi
  echo "built in $(elapsed "$t0")"
}

# run_tests TREE: runs ctest in build/TREE and prints its summary.
run_tests() {
  local tree=$1 t0=$SECONDS log="build/$1/ctest.log"
  say "$tree: tests"
  if ctest --test-dir "build/$tree" -j"$jobs" --output-on-failure --no-tests=error \
      </dev/null >"$log" 2>&1; then
    sed -n '/tests passed/,$p' "$log"
  else
    # Only the failing tests' output is in the log besides the progress.
    cat "$log"
    failures+=("$tree: tests")
  fi
  echo "tests ran in $(elapsed "$t0")"
}

# run_sanitized_tests TREE: run_tests, then fails the tree when any
# sanitizer report was written (whatever the test made of the exit status).
run_sanitized_tests() {
  local tree=$1 logs="build/$1/sanitizer-logs"
  rm -rf "$logs"
  mkdir -p "$logs"
  run_tests "$tree"
  local reports=("$logs"/report.*)
  if [[ -e ${reports[0]} ]]; then
    echo "sanitizer reports in $logs:"
    head -n 60 "${reports[@]}"
    failures+=("$tree: sanitizer reports")
  fi
}

wine_started=
stop_wine() {
  if [[ -n $wine_started ]]; then
    WINEPREFIX=$wine_started "$wineserver" -k 2>/dev/null || true
  fi
}
trap stop_wine EXIT

# start_wine PREFIX: makes the prefix (first run only) and keeps one
# wineserver, with Wine's own service processes, running for it until this
# script ends. The services are started here, with no tie to ctest: those a
# test's program started would hold the test's output open, and ctest would
# wait for them.
start_wine() {
  local prefix=$1 t0=$SECONDS
  "$repo/scripts/wine-run.sh" "$prefix" "$wine64"
  # One left running by an interrupted run serves as well.
  WINEPREFIX=$prefix "$wineserver" -p 2>/dev/null || true
  wine_started=$prefix
  "$repo/scripts/wine-run.sh" "$prefix" "$wine64" wineboot </dev/null >/dev/null 2>&1
  echo "Wine ready in $(elapsed "$t0")"
}

# package_and_check: writes the release archive, what a DBA installs, and
# checks it; the check's output is kept in build/package.log.
package_and_check() {
  local log=build/package.log
  say "release archive"
  rm -f "$log"
  if bash scripts/package.sh && /usr/bin/python3 tests/integration/check_package.py \
      x86_64-w64-mingw32-objdump x86_64-w64-mingw32-windres >"$log" 2>&1; then
    echo "checked (see $log)"
  else
    [[ -f $log ]] && cat "$log"
    failures+=("release archive")
  fi
}

install_missing "${packages[@]}"
mkdir -p build

if build linux; then
  run_tests linux
fi

configure_args=("${clang_args[@]}" -DMAILVANE_SANITIZE=address,undefined)
if build asan "" "${sanitized_targets[@]}"; then
  run_sanitized_tests asan
fi

configure_args=("${clang_args[@]}" -DMAILVANE_SANITIZE=thread)
if build tsan "" "${sanitized_targets[@]}"; then
  run_sanitized_tests tsan
fi

# A crash or broken property fails its test; the input is left in
# build/fuzz/tests/fuzz/artifacts.
configure_args=("${clang_args[@]}" -DMAILVANE_FUZZ=ON -DMAILVANE_FUZZ_SECONDS="$fuzz_seconds")
if build fuzz "" fuzz_targets; then
  run_tests fuzz
fi
configure_args=()

windows_before=${#failures[@]}
if build win64 toolchain-mingw-x86_64; then
  start_wine "$repo/build/win64/wineprefix"
  run_tests win64
  stop_wine
  wine_started=
fi

# What its checks inspect; its tests are for running, which it cannot.
if build win32 toolchain-mingw-i686 inspected_binaries; then
  run_tests win32
fi

# Only from Windows trees that built and passed.
if [[ ${#failures[@]} -eq $windows_before ]]; then
  package_and_check
fi

say "done in $(elapsed "$started")"
if [[ ${#failures[@]} -gt 0 ]]; then
  printf 'FAILED: %s\n' "${failures[@]}"
  exit 1
fi
echo "all passed"
