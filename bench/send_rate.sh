#!/usr/bin/env bash
# Sends per second and latency per send of the procedure, plain and
# authenticated, to Postfix's smtp-sink on loopback: xpexec runs the same
# EXEC statement many times on one thread, as one SQL Server worker would.
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

sink_pid=
trap '[ -n "$sink_pid" ] && kill $sink_pid 2>/dev/null' EXIT
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
smtp-sink -u nobody "127.0.0.1:$port" 100 &
sink_pid=$!
sleep 0.5

run() {
  local label=$1 extra=$2
  local stmt="exec master..mailvane @server='127.0.0.1', @port='$port', @from='a@example.com',
      @recipients='b@example.com;<Carl> c@example.com', @subject='rate', @message='Hello.' $extra"
  local start end
  start=$(date +%s.%N)
  "$xpexec" --repeat "$sends" -Q "$stmt" >/dev/null
  end=$(date +%s.%N)
  /usr/bin/python3 -c "import sys; t=float(sys.argv[2])-float(sys.argv[1]); n=int(sys.argv[3]); print('%-14s %6d sends %8.1f sends/s %8.2f ms/send' % (sys.argv[4], n, n/t, 1000*t/n))" \
    "$start" "$end" "$sends" "$label"
}
run plain ""
run authenticated ", @user='bench', @pwd='secret'"
