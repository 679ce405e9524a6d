#!/usr/bin/env bash
# availability: the availability window over an event log of 1,000,000 lines,
# offscreen. Times, inside the program, opening the window until every line
# is read and the figures of the 30-day span are shown and painted. There is
# no public tool that does this work, so the figure is plain seconds, the
# median of 5 runs; the goal is at most 1 second.
# Ends with "open-seconds S".
set -euo pipefail
export LC_ALL=C

lines="${AVAILABILITY_BENCH_LINES:-1000000}"
runs=5

bench_build availabilitybench
prog="$BENCH_BUILD/bin/availabilitybench"

out="$(QT_QPA_PLATFORM=offscreen "$prog" "$lines" "$runs")"
echo "$out" >&2

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
open_s="$(echo "$out" | awk '$1 == "open" { print $2 }' | median)"
rows="$(echo "$out" | awk '$3 == "rows" { print $4; exit }')"
echo "lines $lines, objects $rows, median of $runs runs"
echo "open-seconds $open_s"
