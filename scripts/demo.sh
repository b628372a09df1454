#!/usr/bin/env bash
# The demo: builds the Linux library and xpexec, starts a recording SMTP
# server on 127.0.0.1 (aiosmtpd, with AUTH PLAIN), sends one mail through
# the procedure (HTML body, Cc, Bcc, a non-ASCII subject, authentication),
# shows what the client was told and what the server received, and stops
# the server.
#
#   bash scripts/demo.sh
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
source scripts/common.sh

# What configuring the tree needs (its test tree among it: googletest),
# what the library links (OpenSSL, libcurl, RapidJSON's headers), and
# the demo's server.
install_missing cmake ninja-build g++ googletest libssl-dev libcurl4-openssl-dev \
  rapidjson-dev python3 python3-aiosmtpd
mkdir -p build
echo "== building the procedure library and xpexec (build/linux)"
cmake -S . -B build/linux -G Ninja >build/linux.configure.log 2>&1 ||
  { cat build/linux.configure.log; exit 1; }
ninja -C build/linux -j2 mailvane xpexec >build/linux.demo-build.log 2>&1 ||
  { tail -n 100 build/linux.demo-build.log; exit 1; }
# Text typed here is UTF-8; the procedure labels it so.
LC_ALL=C.UTF-8 exec /usr/bin/python3 scripts/demo.py build/linux/bin/xpexec
