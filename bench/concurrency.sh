#!/usr/bin/env bash
# Mails per second of the procedure on 4 threads against Postfix's
# smtp-source with 4 parallel sessions, both sending the same number of
# small mails to one smtp-sink on loopback in the same run. Each of them
# opens one connection per mail. The goal is a ratio of at least 1.0.
#
#   bash bench/concurrency.sh [build-dir] [mails]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
mails=${2:-2000}
threads=4
if ! command -v smtp-sink >/dev/null || ! command -v smtp-source >/dev/null; then
  # The package only: no Postfix daemon is started.
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq postfix >/dev/null
  rm -f /usr/sbin/policy-rc.d
fi
xpexec=$build/bin/xpexec
[ -x "$xpexec" ] || { echo "no xpexec in $build/bin: build first" >&2; exit 2; }
per_thread=$(( (mails + threads - 1) / threads ))
mails=$(( per_thread * threads ))

sink_pid=
trap '[ -n "$sink_pid" ] && kill $sink_pid 2>/dev/null' EXIT
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
smtp-sink -u nobody "127.0.0.1:$port" 100 &
sink_pid=$!
sleep 0.5

now() { date +%s.%N; }
rate() {
  /usr/bin/python3 -c "import sys; t=float(sys.argv[2])-float(sys.argv[1]); n=int(sys.argv[3]); print('%.1f' % (n/t))" "$@"
}

stmt="exec master..mailvane @server='127.0.0.1', @port='$port', @from='a@example.com',
    @recipients='b@example.com', @subject='rate', @message='Hello.'"

start=$(now)
"$xpexec" --tokens --threads "$threads" --repeat "$per_thread" -Q "$stmt" > /tmp/concurrency.$$.out
end=$(now)
ok=$(grep -c '"token":"return","value":0}' /tmp/concurrency.$$.out || true)
rm -f /tmp/concurrency.$$.out
[ "$ok" -eq "$mails" ] || { echo "xpexec: $ok of $mails calls succeeded" >&2; exit 1; }
ours=$(rate "$start" "$end" "$mails")

start=$(now)
smtp-source -s "$threads" -m "$mails" -f a@example.com -t b@example.com "127.0.0.1:$port"
end=$(now)
theirs=$(rate "$start" "$end" "$mails")

/usr/bin/python3 -c "import sys; o=float(sys.argv[1]); t=float(sys.argv[2]); n=sys.argv[3]
print('xpexec --threads 4     %8.1f mails/s  (%s mails)' % (o, n))
print('smtp-source -s 4       %8.1f mails/s  (%s mails)' % (t, n))
print('ratio                  %8.2f x' % (o/t))" "$ours" "$theirs" "$mails"
