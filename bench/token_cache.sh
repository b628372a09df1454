#!/usr/bin/env bash
# Time per mail and token requests with the token cache and with it
# bypassed, 100 mails through XOAUTH2 (bench/token_cache.py says how).
#
#   bash bench/token_cache.sh [build-dir] [mails]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
mails=${2:-100}
xpexec=$build/bin/xpexec
[ -x "$xpexec" ] || { echo "no xpexec in $build/bin: build first" >&2; exit 2; }

exec /usr/bin/python3 "$here/bench/token_cache.py" "$xpexec" "$mails"
