#!/bin/sh
# Builds the report rendering benchmark in Release and runs it beside
# Python's json + csv. Usage:
#   bench/run_rows.sh [rows]     (default 100000 rows of 8 columns, ~20 MB)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/bench-release"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMAILVANE_TESTS=OFF >/dev/null
ninja -C "$build" -j2 rows_bench >/dev/null
ROWS_CSV_PY="$root/bench/rows_csv.py" exec "$build/bin/rows_bench" "$@"
