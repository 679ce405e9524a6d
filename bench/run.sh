#!/usr/bin/env bash
# bench/run.sh NAME: runs one benchmark (bench/cases/NAME.sh). Each case builds
# what it needs in Release, prepares its data under /tmp, compares our code
# with a public tool on the same data and ends with its figures as
# "key value" lines.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
name="${1:-}"
if [ -z "$name" ] || [ ! -f "$here/cases/$name.sh" ]; then
  echo "usage: bench/run.sh NAME, with NAME one of:" >&2
  ls "$here/cases" 2>/dev/null | sed 's/\.sh$//' >&2
  exit 2
fi
export SENTROVA_ROOT="$(cd "$here/.." && pwd)"
export BENCH_BUILD="${BENCH_BUILD:-$SENTROVA_ROOT/build-bench}"
bench_build() {
  cmake -S "$SENTROVA_ROOT" -B "$BENCH_BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$BENCH_BUILD" -j"$(nproc)" --target "$@" >/dev/null
}
export -f bench_build
shift
exec bash "$here/cases/$name.sh" "$@"
