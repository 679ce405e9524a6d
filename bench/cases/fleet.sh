#!/usr/bin/env bash
# fleet: the real program (Release) offscreen with Auto Start on a project of
# 200 TCP objects on a live loopback listener, 200 on a swallowing port (a
# listener with backlog 0 whose queue is full: SYNs get no answer), 50 URL
# objects on nginx, 50 on a server that drips one header byte a second, 100
# ping objects on 127.0.0.1 to 127.0.0.100 and 100 file objects. The program
# prints each row's first outcome as it comes and the longest stall of its
# GUI thread (a 10 ms timer); it ends once every row has an outcome.
# The TCP figure is compared with nc -z -w 10 on the same 400 targets, run
# all at once with xargs -P 400. One run (it takes the length of the bounds).
# Ends with "live-outcomes-seconds S" (every object on a live peer: live TCP,
# nginx, ping, files; goal 2), "all-outcomes-seconds S" (every row; goal 32),
# "max-stall-ms M" (goal 100) and "peer-ratio R" (our time for the 400 TCP
# objects over nc's; goal 1.2).
set -euo pipefail
export LC_ALL=C

work="$(mktemp -d /tmp/sentrova-bench-fleet.XXXXXX)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

bench_build sentrova fleetbench
prog="$BENCH_BUILD/bin/sentrova"
py=/usr/bin/python3
free_port() { "$py" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# The peers: a live listener that accepts and closes, a swallowing port, and
# a web server that drips its status line and headers one byte a second.
cat > "$work/peers.py" <<'PY'
import os, socket, sys, threading, time
kind, port_file = sys.argv[1], sys.argv[2]
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", 0))
if kind == "swallow":
    s.listen(0)
    held = []
    for _ in range(16):  # fill the queue until an attempt stays unanswered
        c = socket.socket(); c.setblocking(False)
        try: c.connect(s.getsockname())
        except BlockingIOError: pass
        held.append(c)
    open(port_file, "w").write(str(s.getsockname()[1]))
    while True: time.sleep(3600)
s.listen(1024)
open(port_file, "w").write(str(s.getsockname()[1]))
def drip(c):
    try:
        c.recv(65536)
        for b in b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nok\n":
            c.sendall(bytes([b])); time.sleep(1)
    except OSError: pass
    finally: c.close()
while True:
    c, _ = s.accept()
    if kind == "live": c.close()
    else: threading.Thread(target=drip, args=(c,), daemon=True).start()
PY
for kind in live swallow drip; do
  "$py" "$work/peers.py" "$kind" "$work/$kind.port" & pids+=($!)
done
for kind in live swallow drip; do
  for _ in $(seq 100); do [ -s "$work/$kind.port" ] && break; sleep 0.05; done
done
live_port=$(cat "$work/live.port"); swallow_port=$(cat "$work/swallow.port"); drip_port=$(cat "$work/drip.port")

nginx_port="$(free_port)"
mkdir -p "$work/www"
printf '<html><body>Sentrova fleet page</body></html>\n' > "$work/www/index.html"
cat > "$work/nginx.conf" <<CONF
master_process off;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  server { listen 127.0.0.1:$nginx_port; root $work/www; }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" -e "$work/error.log" & pids+=($!)
nginx_url="http://127.0.0.1:$nginx_port/index.html"
for _ in $(seq 100); do curl -s -o /dev/null "$nginx_url" && break; sleep 0.05; done

mkdir -p "$work/home" "$work/runtime"; chmod 700 "$work/runtime"
# FLEET_DRIP_ON_NGINX=1 points the dripping URL objects at nginx as well:
# for a URL probe that still blocks the window, where 50 dripping fetches
# one after the other would outlast the run.
drip_url="http://127.0.0.1:$drip_port/"
[ "${FLEET_DRIP_ON_NGINX:-0}" = 1 ] && drip_url="$nginx_url"
"$BENCH_BUILD/bin/fleetbench" "$work" "$live_port" "$swallow_port" "$nginx_url" "$drip_url" > "$work/live.txt"

env QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
  XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/runtime" SENTROVA_HOME="$work/data" \
  LC_ALL=C.UTF-8 SENTROVA_EXIT_WHEN_TESTED=1 SENTROVA_BENCH_TRACE=1 \
  timeout 120 "$prog" "$work/project.snv" > "$work/trace.txt" 2> "$work/stderr.txt" \
  || { echo "fleet: the program failed: $(tail -5 "$work/stderr.txt")" >&2; exit 1; }
grep -q '^tested 700 rows' "$work/trace.txt" || { echo "fleet: unexpected output" >&2; tail -3 "$work/trace.txt" >&2; exit 1; }

# The same 400 TCP targets with nc, all at once.
t0=$(date +%s%N)
{ for _ in $(seq 200); do echo "$live_port"; done; for _ in $(seq 200); do echo "$swallow_port"; done; } |
  xargs -P 400 -I{} sh -c 'nc -z -w 10 127.0.0.1 {} >/dev/null 2>&1 || true'
t1=$(date +%s%N)
nc_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')

# When the last row of a set had its first outcome.
last_of() { awk -v lo="$1" -v hi="$2" '$1 == "outcome" && $2 >= lo && $2 <= hi { if ($3 > m) m = $3 } END { printf "%.3f", m }' "$work/trace.txt"; }
live=0
while read -r _ lo hi; do
  t=$(last_of "$lo" "$hi"); live=$(awk -v a="$live" -v b="$t" 'BEGIN { print (b > a) ? b : a }')
done < "$work/live.txt"
tcp=$(last_of 0 399)
all=$(awk '$1 == "tested" { print $5 }' "$work/trace.txt")
stall=$(awk '$1 == "max-stall-ms" { print $2 }' "$work/trace.txt")
echo "tcp objects all tested after $tcp s, nc after $nc_s s" >&2
echo "live-outcomes-seconds $live"
echo "all-outcomes-seconds $all"
echo "max-stall-ms $stall"
echo "peer-ratio $(awk -v a="$tcp" -v b="$nc_s" 'BEGIN { printf "%.2f", a / b }')"
