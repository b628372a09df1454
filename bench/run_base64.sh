#!/bin/sh
# Builds the base64 benchmark in Release and runs it. Usage:
#   bench/run_base64.sh [MiB]     (default 256)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench-release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMAILVANE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 base64_bench >/dev/null
exec "$build/bin/base64_bench" "$@"
