#!/usr/bin/env bash
# event-log: LoadEventLog and SaveEventLog of a data.log of 1,000,000 event
# lines (about 75 MB), against "cat FILE > /dev/null" for the load and
# "cat FILE > OUT" for the save, warm cache. Our figure is the time of the
# call itself, measured inside the bench program; cat's is its whole run.
# Prints the median of 5 runs of each and ends with "load-ratio R" and
# "save-ratio R" (ours / cat).
set -euo pipefail
export LC_ALL=C

work="${EVENTLOG_BENCH_DIR:-/tmp/sentrova-bench-eventlog}"
log="$work/data.log"
stamp="$log.done"
runs=5

bench_build eventlogbench
prog="$BENCH_BUILD/bin/eventlogbench"
mkdir -p "$work"

# The log is made once and reused: the lines the program writes, start and
# stop lines among probe lines of the eight kinds, with CR LF after each.
if [ ! -f "$stamp" ]; then
  echo "writing $log (1,000,000 lines) ..." >&2
  /usr/bin/python3 - "$log" <<'PY'
import sys, datetime
kinds = [
    ("Ping", "{h}", "{h} Ping Error"), ("Ping", "{h}", "{h} Ping OK"),
    ("TCP Connect", "{h}", "{h} TCP Connect Error"), ("TCP Connect", "{h}", "{h} Connect OK"),
    ("URL Request", "http://{h}/status/index.html", "Error 404: Not Found"),
    ("Disk Space", "C:\\", "Free space less then 80 Mb"),
    ("File/Folder Size", "/var/log/{h}", "Size more than 80 Mb"),
    ("File/Folder Present", "/srv/share/{h}.lock", "file/folder exist"),
    ("Compare Files", "/srv/a/{h}.dat", "Files are different"),
    ("Database Connect", "Provider=QPSQL;Data Source={h};Initial Catalog=stock", "Database Connect Error"),
]
hosts = ["mail.example.com", "gw-01", "10.1.2.3", "fileserver", "www.velmora.example", "db-primary",
         "Zürich-printer", "backup-nas"]
t = datetime.datetime(2004, 1, 1, 8, 0, 0)
out = []
for i in range(1000000):
    t += datetime.timedelta(seconds=7 + i % 53)
    stamp = t.strftime("%d.%m.%Y %H:%M:%S")
    if i % 500 == 0:
        out.append(stamp + (";;Sentrova Started;;Start;;Inner" if i % 1000 == 0 else ";;Sentrova Stopped;;Stop;;Inner"))
        continue
    method, host, status = kinds[i % len(kinds)]
    h = hosts[(i // 10) % len(hosts)]
    out.append(";;".join([stamp, host.format(h=h), status.format(h=h), method]))
with open(sys.argv[1], "wb") as f:
    f.write(("\r\n".join(out) + "\r\n").encode("cp1252"))
PY
  touch "$stamp"
fi

lines="$(wc -l < "$log")"
out_ours="$work/out-ours.log"
out_cat="$work/out-cat.log"

# Our save writes the same bytes it read.
rm -f "$out_ours"
read -r n _ < <("$prog" save "$log" "$out_ours")
if [ "$n" != "$lines" ] || ! cmp -s "$log" "$out_ours"; then
  echo "event-log: the saved log differs from the file read ($n lines of $lines)" >&2
  exit 1
fi

# Microseconds from the shell's own clock, so that no clock process is
# counted in a run.
now_us() { local t="$EPOCHREALTIME"; echo $(( 10#${t//[.,]/} )); }
us() { # microseconds a command takes
  local t0 t1
  t0=$(now_us)
  "$@"
  t1=$(now_us)
  echo $(( t1 - t0 ))
}
cat_load() { cat "$log" > /dev/null; }
cat_save() { cat "$log" > "$out_cat"; }

cat "$log" > /dev/null # warm the cache
load_ours=(); load_cat=(); save_ours=(); save_cat=(); load_proc=()
for _ in $(seq "$runs"); do
  t0=$(now_us)
  read -r _ t < <("$prog" load "$log")
  t1=$(now_us)
  load_ours+=("$t")
  load_proc+=("$(( t1 - t0 ))")
  load_cat+=("$(us cat_load)")
  rm -f "$out_ours" "$out_cat"
  read -r _ t < <("$prog" save "$log" "$out_ours")
  save_ours+=("$t")
  save_cat+=("$(us cat_save)")
done
rm -f "$out_ours" "$out_cat"

median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
echo "lines $lines, bytes $(stat -c %s "$log")"
echo "runs (us) load ours:         ${load_ours[*]}"
echo "runs (us) load ours process: ${load_proc[*]}"
echo "runs (us) load cat:          ${load_cat[*]}"
echo "runs (us) save ours:         ${save_ours[*]}"
echo "runs (us) save cat:          ${save_cat[*]}"
awk -v lo="$(median "${load_ours[@]}")" -v lp="$(median "${load_proc[@]}")" -v lc="$(median "${load_cat[@]}")" \
    -v so="$(median "${save_ours[@]}")" -v sc="$(median "${save_cat[@]}")" 'BEGIN {
  printf "load-ms %.1f\nload-process-ms %.1f\ncat-load-ms %.1f\nsave-ms %.1f\ncat-save-ms %.1f\n",
         lo / 1000, lp / 1000, lc / 1000, so / 1000, sc / 1000
  printf "load-ratio %.2f\nsave-ratio %.2f\n", lo / lc, so / sc }'
