"""The Python side of rows_bench: the same JSON rows to the same CSV.

    rows_csv.py ROWS.json OUT.csv REPEATS

Reads the text (not timed), then, REPEATS times, parses it with json and
writes the CSV with csv (RFC 4180 quoting, CR LF, UTF-8 with a byte order
mark; numbers kept as written, true/false as JSON writes them, null
empty) into memory; prints the best wall time in seconds and writes the
CSV of the last run to OUT.csv.
"""

import csv
import io
import json
import sys
import time


def cell(value):
    if value is None:
        return ""
    if value is True:
        return "true"
    if value is False:
        return "false"
    return value


def render(text):
    rows = json.loads(text, parse_float=str, parse_int=str)
    columns = []
    seen = set()
    for row in rows:
        for key in row:
            if key not in seen:
                seen.add(key)
                columns.append(key)
    out = io.StringIO()
    writer = csv.writer(out, lineterminator="\r\n")
    writer.writerow(columns)
    for row in rows:
        writer.writerow([cell(row.get(c)) for c in columns])
    return out.getvalue().encode("utf-8-sig")


def main():
    text = open(sys.argv[1], encoding="utf-8").read()
    best = None
    for _ in range(int(sys.argv[3])):
        start = time.perf_counter()
        data = render(text)
        seconds = time.perf_counter() - start
        best = seconds if best is None else min(best, seconds)
    with open(sys.argv[2], "wb") as f:
        f.write(data)
    print("%.6f" % best)


if __name__ == "__main__":
    main()
