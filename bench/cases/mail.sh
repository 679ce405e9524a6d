#!/usr/bin/env bash
# mail: 200 alert mails sent one after the other through the alert dispatcher
# and the SMTP sender (each mail started when the previous one is done, one
# connection per mail) to aiosmtpd on loopback, against Python's smtplib
# sending the same 200 mails (the exact messages ours produced, captured in a
# first run) to the same server, also one connection per mail.
# Both figures are measured inside the programs, from the first connection
# to the end of the last mail. Prints the median of 7 runs of each and ends
# with "rate-ratio R": our mails per second over smtplib's.
set -euo pipefail
export LC_ALL=C

count=200
runs=7
py=/usr/bin/python3
work="$(mktemp -d /tmp/sentrova-bench-mail.XXXXXX)"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

if ! "$py" -c 'import aiosmtpd' 2>/dev/null; then
  echo "mail benchmark: the Python module aiosmtpd is missing (package python3-aiosmtpd)" >&2
  exit 1
fi

bench_build mailbench
prog="$BENCH_BUILD/bin/mailbench"

free_port() {
  "$py" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_server PORT HANDLER [ARG]: aiosmtpd on loopback, waited for.
start_server() {
  local port="$1"
  shift
  PYTHONPATH="$SENTROVA_ROOT/tests/alerts/peers" "$py" -m aiosmtpd -n -l "127.0.0.1:$port" -c "$@" &
  server_pid=$!
  for _ in $(seq 100); do
    if "$py" -c "import socket,sys; s=socket.socket(); sys.exit(s.connect_ex(('127.0.0.1', $port)))"; then
      return 0
    fi
    sleep 0.1
  done
  echo "mail benchmark: aiosmtpd did not start on port $port" >&2
  exit 1
}

stop_server() {
  kill "$server_pid" 2>/dev/null || true
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
}

# 1. Capture the exact messages our sender puts on the wire.
port="$(free_port)"
start_server "$port" recordsmtp.RecordingHandler "$work/mails"
"$prog" --port "$port" --count "$count" >/dev/null
stop_server
captured="$(ls "$work/mails"/*.eml 2>/dev/null | wc -l)"
if [ "$captured" -ne "$count" ]; then
  echo "mail benchmark: captured $captured of $count messages" >&2
  exit 1
fi

# 2. smtplib replays those messages, one connection per mail.
cat >"$work/smtplib_send.py" <<'PY'
import glob, os, smtplib, sys, time
port, folder = int(sys.argv[1]), sys.argv[2]
mails = []
for path in sorted(glob.glob(os.path.join(folder, "*.eml"))):
    data = open(path, "rb").read()
    head, _, content = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    sender = lines[0][len("MAIL FROM:<"):-1]
    rcpts = [l[len("RCPT TO:<"):-1] for l in lines[1:]]
    mails.append((sender, rcpts, content))
start = time.perf_counter()
for sender, rcpts, content in mails:
    with smtplib.SMTP("127.0.0.1", port) as s:
        s.sendmail(sender, rcpts, content)
print("seconds %.6f" % (time.perf_counter() - start))
PY

# 3. Timed runs against one server that accepts and discards.
port="$(free_port)"
start_server "$port" aiosmtpd.handlers.Sink
"$prog" --port "$port" --count 20 >/dev/null                          # warm-up
"$py" "$work/smtplib_send.py" "$port" "$work/mails" >/dev/null

ours=()
theirs=()
for r in $(seq "$runs"); do
  o="$("$prog" --port "$port" --count "$count" | awk '/^seconds/ {print $2}')"
  t="$("$py" "$work/smtplib_send.py" "$port" "$work/mails" | awk '/^seconds/ {print $2}')"
  echo "run $r: ours $o s, smtplib $t s" >&2
  ours+=("$o")
  theirs+=("$t")
done
stop_server

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo="$(median "${ours[@]}")"
mt="$(median "${theirs[@]}")"
awk -v n="$count" -v o="$mo" -v t="$mt" 'BEGIN {
  printf "ours-seconds %.4f\n", o
  printf "smtplib-seconds %.4f\n", t
  printf "ours-mails-per-s %.1f\n", n / o
  printf "smtplib-mails-per-s %.1f\n", n / t
  printf "rate-ratio %.2f\n", (n / o) / (n / t)
}'
