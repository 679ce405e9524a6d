#!/usr/bin/env bash
# analyser: the log analyser over an event log of 1,000,000 lines, offscreen.
# Times, inside the program, opening the window (the view of every line is
# built and painted) and one click of "Filter" with bounds that keep about
# half the lines (the view is rebuilt and painted). There is no public tool
# that does this work, so the figures are plain seconds, the median of 5
# runs each; the goal is under 1 second for each.
# Ends with "open-seconds S" and "filter-seconds S".
set -euo pipefail
export LC_ALL=C

lines="${ANALYSER_BENCH_LINES:-1000000}"
runs=5

bench_build analyserbench
prog="$BENCH_BUILD/bin/analyserbench"

out="$(QT_QPA_PLATFORM=offscreen "$prog" "$lines" "$runs")"
echo "$out" >&2

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
open_s="$(echo "$out" | awk '$1 == "open" { print $2 }' | median)"
filter_s="$(echo "$out" | awk '$3 == "filter" { print $4 }' | median)"
shown="$(echo "$out" | awk '$5 == "shown" { print $6; exit }')"
echo "lines $lines, shown after the filter $shown, median of $runs runs"
echo "open-seconds $open_s"
echo "filter-seconds $filter_s"
