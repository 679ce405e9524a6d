#!/usr/bin/env bash
# metrics: the metrics endpoint serving 1,000 objects (which keep reporting
# outcomes) to 8 parallel client threads, 2,000 scrapes in all, while other
# threads send requests at one byte a second, garbage and 1 MB requests.
# A 5 ms timer on the serving thread measures the longest stall.
# There is no public tool doing this work, so the figures are plain: the
# median of 3 runs. Goals: at least 500 scrapes a second, at most 100 ms stall.
# Ends with "scrapes-per-second N" and "max-stall-ms M".
set -euo pipefail
export LC_ALL=C
bench_build metricsbench
prog="$BENCH_BUILD/bin/metricsbench"
runs=3
rates=(); stalls=()
for run in $(seq "$runs"); do
  out=$("$prog" "${METRICS_BENCH_OBJECTS:-1000}" "${METRICS_BENCH_SCRAPES:-2000}" 8)
  echo "run $run: $(echo "$out" | tr '\n' ' ')" >&2
  rates+=("$(echo "$out" | awk '$1 == "scrapes-per-second" { print $2 }')")
  stalls+=("$(echo "$out" | awk '$1 == "max-stall-ms" { print $2 }')")
done
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
echo "median of $runs runs"
echo "scrapes-per-second $(median "${rates[@]}")"
echo "max-stall-ms $(median "${stalls[@]}")"
