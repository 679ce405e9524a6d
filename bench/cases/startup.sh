#!/usr/bin/env bash
# startup [N]: the real program (build-bench/bin/sentrova, Release) started
# offscreen with a project of N file-system objects (5,000 unless given) on
# its command line,
# in a private HOME, data folder and options with "Auto Start" on. Measures,
# from outside, the time from launching the process until every row shows
# its first outcome, and the resident memory at that moment. The program
# tells that moment itself when SENTROVA_EXIT_WHEN_TESTED=1: it prints
# "tested N rows in S s, rss K kB" once no row is left without an outcome,
# then ends as a normal exit (writing its stores).
# There is no public tool that does this work, so the figures are plain: the
# median of 5 runs, each with an empty event log. Goals: under 2 seconds and
# under 150 MB for 5,000 objects; under 2 seconds and under 300 MB for
# 20,000 (bench/run.sh startup 20000).
# Ends with "objects N", "seconds S" and "rss-mb M".
set -euo pipefail
export LC_ALL=C

objects="${1:-${STARTUP_BENCH_OBJECTS:-5000}}"
case "$objects" in
  ''|*[!0-9]*) echo "usage: bench/run.sh startup [OBJECTS]" >&2; exit 2 ;;
esac
runs=5
dir="${STARTUP_BENCH_DIR:-/tmp/sentrova-bench-startup}"

bench_build sentrova startupbench
prog="$BENCH_BUILD/bin/sentrova"

rm -rf -- "$dir"
mkdir -p "$dir/home" "$dir/runtime"
chmod 700 "$dir/runtime"
"$BENCH_BUILD/bin/startupbench" "$dir" "$objects" >/dev/null

now_ns() { date +%s%N; }
secs=(); rss=()
for run in $(seq "$runs"); do
  rm -f -- "$dir/data/data.log"
  t0=$(now_ns)
  exec 3< <(env QT_QPA_PLATFORM=offscreen HOME="$dir/home" XDG_CONFIG_HOME="$dir/config" \
    XDG_DATA_HOME="$dir/home/.local/share" XDG_RUNTIME_DIR="$dir/runtime" SENTROVA_HOME="$dir/data" \
    LC_ALL=C.UTF-8 SENTROVA_EXIT_WHEN_TESTED=1 "$prog" "$dir/project.snv" 2>"$dir/stderr.txt")
  pid=$!
  line=""
  read -r line <&3 || true
  t1=$(now_ns)
  exec 3<&-
  wait "$pid" || { echo "startup: the program failed (run $run): $(cat "$dir/stderr.txt")" >&2; exit 1; }
  case "$line" in
    "tested $objects rows in "*) ;;
    *) echo "startup: unexpected output \"$line\" (run $run)" >&2; exit 1 ;;
  esac
  # Every object logged its first outcome (its LastResult was empty), and
  # the Started line of the automatic start came first.
  logged=$(grep -c ';;' "$dir/data/data.log" || true)
  if [ "$logged" -ne $((objects + 1)) ]; then
    echo "startup: data.log holds $logged lines, expected $((objects + 1))" >&2
    exit 1
  fi
  secs+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')")
  rss+=("$(echo "$line" | awk '{ for (i = 1; i < NF; ++i) if ($i == "rss") printf "%.1f", $(i + 1) / 1024 }')")
  echo "run $run: $line; from launch ${secs[-1]} s" >&2
done

median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }
echo "median of $runs runs"
echo "objects $objects"
echo "seconds $(median "${secs[@]}")"
echo "rss-mb $(median "${rss[@]}")"
