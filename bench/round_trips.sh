#!/usr/bin/env bash
# Round trips and time per mail with and without PIPELINING, against a
# scripted server that plays a round trip of 50 ms, beside Python's
# smtplib (bench/round_trips.py says how).
#
#   bash bench/round_trips.sh [build-dir] [mails]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
mails=${2:-5}
xpexec=$build/bin/xpexec
[ -x "$xpexec" ] || { echo "no xpexec in $build/bin: build first" >&2; exit 2; }

exec /usr/bin/python3 "$here/bench/round_trips.py" "$xpexec" "$mails"
