#!/usr/bin/env bash
# Streams a mail with one large attachment through the procedure to
# Postfix's smtp-sink on loopback, and, in the same run, has curl upload an
# already-encoded message of the same size to the same sink. Prints wall
# times, their ratio, and xpexec's peak resident memory for each size, to
# show that memory stays flat however large the file.
#
#   bash bench/stream_attachment.sh [build-dir] [sizes in MiB...]
#
# Needs Debian's postfix (smtp-sink), curl and time; installs them if absent.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
shift || true
if [ $# -gt 0 ]; then sizes=("$@"); else sizes=(1 16 256); fi

need=()
command -v smtp-sink >/dev/null || need+=(postfix)
command -v curl >/dev/null || need+=(curl)
[ -x /usr/bin/time ] || need+=(time)
if [ ${#need[@]} -gt 0 ]; then
  # Postfix must not start its own daemon while it is installed.
  printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d && chmod +x /usr/sbin/policy-rc.d
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${need[@]}" >/dev/null
  rm -f /usr/sbin/policy-rc.d
fi
xpexec=$build/bin/xpexec
[ -x "$xpexec" ] || { echo "no xpexec in $build/bin: build first" >&2; exit 2; }

work=$(mktemp -d)
sink_pid=
cleanup() { [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT

port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
smtp-sink -u nobody "127.0.0.1:$port" 100 &
sink_pid=$!
sleep 0.5

printf '%-6s %10s %10s %7s %14s\n' MiB xpexec_s curl_s ratio xpexec_peak_KiB
for mib in "${sizes[@]}"; do
  file=$work/attachment-$mib.bin
  head -c $((mib * 1024 * 1024)) /dev/urandom > "$file"
  # The same message, encoded beforehand, for curl to upload as it is.
  /usr/bin/python3 - "$file" "$work/message-$mib.eml" <<'PY'
import base64, sys
data = open(sys.argv[1], "rb").read()
with open(sys.argv[2], "wb") as out:
    out.write(b"From: <a@example.com>\r\nTo: <b@example.com>\r\nSubject: bench\r\n"
              b"MIME-Version: 1.0\r\nContent-Type: application/octet-stream\r\n"
              b"Content-Transfer-Encoding: base64\r\n\r\n")
    out.write(base64.encodebytes(data).replace(b"\n", b"\r\n"))
PY
  stmt="exec master..mailvane @server='127.0.0.1', @port='$port', @from='a@example.com',
        @recipients='b@example.com', @subject='bench', @attachments='$file'"
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/rss" "$xpexec" -Q "$stmt" >/dev/null
  mid=$(date +%s.%N)
  curl -s --url "smtp://127.0.0.1:$port" --mail-from a@example.com --mail-rcpt b@example.com \
       --upload-file "$work/message-$mib.eml"
  end=$(date +%s.%N)
  /usr/bin/python3 -c "import sys; a,b,c=map(float,sys.argv[1:4]); x=b-a; y=c-b; print('%-6s %10.3f %10.3f %7.2f %14s' % (sys.argv[4], x, y, x/y, sys.argv[5]))" \
    "$start" "$mid" "$end" "$mib" "$(cat "$work/rss")"
  rm -f "$file" "$work/message-$mib.eml"
done
