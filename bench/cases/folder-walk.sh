#!/usr/bin/env bash
# folder-walk: the File/Folder Size walk (SumFolderSize with sub-folders)
# against "du -sb" on a tree of 200,000 files in 2,000 folders, warm cache.
# Prints the median of 5 runs of each and ends with "ratio R" (ours / du).
set -euo pipefail

tree="${FOLDERWALK_TREE:-/tmp/sentrova-bench-folderwalk}"
stamp="$tree.done"
runs=5

bench_build bench_folderwalk
walk="$BENCH_BUILD/bin/bench_folderwalk"

# The tree is built once and reused: 20 folders of 100 (the folder itself and
# 99 sub-folders), 100 files in each. Files are sparse, so the tree takes
# almost no disk space; their sizes vary from 0 to 8191 bytes.
if [ ! -f "$stamp" ]; then
  echo "building $tree (200,000 files in 2,000 folders) ..." >&2
  rm -rf -- "$tree"
  /usr/bin/python3 - "$tree" <<'PY'
import os, sys
root = sys.argv[1]
n = 0
for top in range(20):
    folders = [os.path.join(root, "t%02d" % top)]
    folders += [os.path.join(folders[0], "s%02d" % s) for s in range(99)]
    for folder in folders:
        os.makedirs(folder, exist_ok=True)
        for f in range(100):
            fd = os.open(os.path.join(folder, "file%03d.dat" % f), os.O_WRONLY | os.O_CREAT, 0o644)
            os.ftruncate(fd, (n * 37) % 8192)
            os.close(fd)
            n += 1
PY
  touch "$stamp"
fi

# The two must agree on what they measure: our total is the sum of the file
# sizes (folders add nothing), which find reports too.
ours_total="$("$walk" "$tree")"
find_total="$(find "$tree" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%d", s }')"
if [ "$ours_total" != "$find_total" ]; then
  echo "folder-walk: total $ours_total differs from find's $find_total" >&2
  exit 1
fi

# Warm the cache with one run of each, then alternate the timed runs.
"$walk" "$tree" >/dev/null
du -sb "$tree" >/dev/null

us() { # microseconds a command takes, output discarded
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null
  t1=$(date +%s%N)
  echo $(( (t1 - t0) / 1000 ))
}
ours=(); theirs=()
for _ in $(seq "$runs"); do
  ours+=("$(us "$walk" "$tree")")
  theirs+=("$(us du -sb "$tree")")
done
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
ours_us="$(median "${ours[@]}")"
du_us="$(median "${theirs[@]}")"

echo "runs (us) ours: ${ours[*]}"
echo "runs (us) du:   ${theirs[*]}"
echo "total-bytes $ours_total"
awk -v o="$ours_us" -v d="$du_us" 'BEGIN {
  printf "ours-ms %.1f\ndu-ms %.1f\nratio %.2f\n", o / 1000, d / 1000, o / d }'
