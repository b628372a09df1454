#!/usr/bin/env bash
# Sends per second and latency per send of the procedure, plain and
# authenticated, to servers on loopback (bench/send_rate.py says which).
#
#   bash bench/send_rate.sh [build-dir] [sends]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
sends=${2:-500}
if ! command -v smtp-sink >/dev/null; then
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq postfix >/dev/null
  rm -f /usr/sbin/policy-rc.d
fi
xpexec=$build/bin/xpexec
[ -x "$xpexec" ] || { echo "no xpexec in $build/bin: build first" >&2; exit 2; }

exec /usr/bin/python3 "$here/bench/send_rate.py" "$xpexec" "$sends"
