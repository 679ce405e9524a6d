#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in build-fuzz, writes their seed
# corpora with the program's own savers, then runs each harness over its
# corpus (the seeds and the inputs kept in tests/fuzz/corpus/NAME, among
# them every input that once made a harness fail) and for FUZZ_SECONDS
# (default 5) on new inputs. A harness that fails leaves its input in
# build-fuzz/fuzz/crashes; copy it into tests/fuzz/corpus/NAME with the fix.
#
#   tests/fuzz/run.sh            every harness
#   tests/fuzz/run.sh http smtp  only those
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
B=$ROOT/build-fuzz
SECONDS_EACH=${FUZZ_SECONDS:-5}
ALL=(snv profile schedule datalog email http smtp)
if [ $# -gt 0 ]; then NAMES=("$@"); else NAMES=("${ALL[@]}"); fi

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
CXX=clang++ CC=clang cmake -S . -B "$B" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSENTROVA_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build "$B" -j"${FUZZ_JOBS:-$(nproc)}" --target sentrova_fuzzers

work=$B/fuzz
rm -rf "$work/seeds" "$work/new"
mkdir -p "$work/seeds" "$work/new" "$work/crashes"
QT_QPA_PLATFORM=offscreen "$B/bin/fuzz_makeseeds" "$work/seeds"

export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

# The network harnesses talk to their own loopback peer only. Where a
# network namespace can be made they run inside one that has nothing but
# loopback, so no input can reach another machine even by mistake.
isolate=()
if [ "$(id -u)" = 0 ] && command -v unshare >/dev/null && unshare --net true 2>/dev/null; then
  isolate=(unshare --net -- sh -c 'ip link set lo up && exec "$@"' sh)
fi

passed=0
failed=0
for name in "${NAMES[@]}"; do
  bin=$B/bin/fuzz_$name
  kept=$ROOT/tests/fuzz/corpus/$name
  mkdir -p "$work/new/$name"
  dirs=("$work/seeds/$name")
  if [ -d "$kept" ]; then dirs+=("$kept"); fi
  run=()
  case $name in http | smtp) run=("${isolate[@]}") ;; esac
  echo "== fuzz_$name: corpus, then ${SECONDS_EACH} s of new inputs"
  # New inputs go to the first folder; the seeds and the kept inputs are
  # only read.
  if "${run[@]}" "$bin" -max_total_time="$SECONDS_EACH" -timeout=30 -rss_limit_mb=4096 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$work/crashes/$name-" "$work/new/$name" "${dirs[@]}" \
    >"$work/$name.log" 2>&1; then
    passed=$((passed + 1))
    grep -E '^stat::number_of_executed_units|^Done' "$work/$name.log" | tr '\n' ' '
    echo
  else
    failed=$((failed + 1))
    tail -n 40 "$work/$name.log"
    echo "fuzz_$name FAILED; the input is in $work/crashes"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" = 0 ]
