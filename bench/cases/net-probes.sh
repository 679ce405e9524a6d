#!/usr/bin/env bash
# net-probes: each network probe's own work, timed inside the process, against
# the time the public tool reports for the same work on the same loopback
# target, medians of 20 runs each:
#   ping  our echo round trip (TICMP)          vs the rtt of ping -c 20 -i 0.2 127.0.0.1
#   tcp   our connect and close (TCP probe)    vs curl's %{time_connect} on the nginx port
#   url   our GET over a new connection        vs curl -0's %{time_total} for the nginx page
# The bench starts its own nginx on a free loopback port and stops it at the
# end. Ends with "ping-ratio R", "tcp-ratio R" and "url-ratio R" (ours / theirs).
set -euo pipefail
export LC_ALL=C

runs=20
work="$(mktemp -d /tmp/sentrova-bench-netprobes.XXXXXX)"
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then
    kill "$nginx_pid" 2>/dev/null || true
    wait "$nginx_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

bench_build netprobes
prog="$BENCH_BUILD/bin/netprobes"

port="$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
mkdir -p "$work/www"
printf '<html><body>Sentrova bench page</body></html>\n' > "$work/www/index.html"
cat > "$work/nginx.conf" <<CONF
master_process off;
daemon off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $work/body;
  proxy_temp_path $work/proxy;
  fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi;
  scgi_temp_path $work/scgi;
  server { listen 127.0.0.1:$port; root $work/www; }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" -e "$work/error.log" &
nginx_pid=$!
url="http://127.0.0.1:$port/index.html"
for _ in $(seq 100); do
  curl -s -o /dev/null "$url" && break
  sleep 0.05
done
curl -sf -o /dev/null "$url" || { echo "net-probes: nginx did not start" >&2; cat "$work/error.log" >&2; exit 1; }

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1; if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ours() { "$prog" "$@" | awk '/^median/ { print $2 }'; }
# curl's figure in milliseconds, one warm-up run first
curl_ms() {
  local what="$1" i
  curl -0 -s -o /dev/null "$url"
  for i in $(seq "$runs"); do
    curl -0 -s -o /dev/null -w "%{$what}\n" "$url"
  done | awk '{ printf "%.4f\n", $1 * 1000 }' | median
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

ping_ours="$(ours ping 127.0.0.1 "$runs")"
ping_theirs="$(ping -c "$runs" -i 0.2 127.0.0.1 | sed -n 's/.*time=\([0-9.]*\) ms.*/\1/p' | median)"
tcp_ours="$(ours tcp 127.0.0.1 "$port" "$runs")"
tcp_theirs="$(curl_ms time_connect)"
url_ours="$(ours url "$url" "$runs")"
url_theirs="$(curl_ms time_total)"

echo "ping: ours ${ping_ours} ms, ping rtt ${ping_theirs} ms (medians of $runs)"
echo "tcp:  ours ${tcp_ours} ms, curl time_connect ${tcp_theirs} ms"
echo "url:  ours ${url_ours} ms, curl -0 time_total ${url_theirs} ms"
echo "ping-ratio $(ratio "$ping_ours" "$ping_theirs")"
echo "tcp-ratio $(ratio "$tcp_ours" "$tcp_theirs")"
echo "url-ratio $(ratio "$url_ours" "$url_theirs")"
