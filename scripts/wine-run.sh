#!/usr/bin/env bash
# Runs a cross-built x64 Windows program under Wine64, in a Wine prefix of
# its own (inside the build tree), quietly. ctest uses it as the x64 build's
# emulator (cmake/wine.cmake); scripts/test.sh uses it to prepare the
# prefix before the tests.
#
#   wine-run.sh PREFIX WINE64 [PROGRAM [ARGS...]]
#
# The prefix is made on first use, once, even when several tests start at
# the same moment (a lock guards it). Without PROGRAM only that is done.
# The program's exit status is this script's.
set -euo pipefail

if [[ $# -lt 2 ]]; then
  echo "usage: wine-run.sh PREFIX WINE64 [PROGRAM [ARGS...]]" >&2
  exit 2
fi
prefix=$1
wine64=$2
shift 2

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and asking for them on a
# machine without network only costs time.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
# No window may ever appear: there is no display.
unset DISPLAY WAYLAND_DISPLAY

if [[ ! -f $prefix/system.reg ]]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    if [[ ! -f $prefix/system.reg ]]; then
      "$wine64" wineboot --init </dev/null >/dev/null 2>&1 || true
      # wineboot returns before the registry is written out; the server
      # writes it when it has no more clients.
      "$(dirname "$wine64")/wineserver64" -w 2>/dev/null || true
      if [[ ! -f $prefix/system.reg ]]; then
        echo "wine-run.sh: could not make the Wine prefix $prefix" >&2
        exit 1
      fi
    fi
  ) 9>"$prefix.lock"
fi

[[ $# -eq 0 ]] && exit 0
exec "$wine64" "$@"
