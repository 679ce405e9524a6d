#!/usr/bin/env bash
# mail-tls: 100 alert mails through the alert dispatcher and the SMTP sender
# with STARTTLS and AUTH, one connection per mail, to aiosmtpd on loopback
# (tests/mail/peers/tlssmtp.py: STARTTLS required, a login asked for, a
# certificate from its own CA), against Python's smtplib sending the same
# mails with starttls() and login() to the same server. Both figures are
# measured inside the programs, from the first connection to the end of the
# last mail. Prints the median of 5 runs of each and ends with
# "tls-rate-ratio R": our mails per second over smtplib's.
set -euo pipefail
export LC_ALL=C

count=100
runs=5
py=/usr/bin/python3
work="$(mktemp -d /tmp/sentrova-bench-mail-tls.XXXXXX)"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

if ! "$py" -c 'import aiosmtpd, cryptography' 2>/dev/null; then
  echo "mail-tls benchmark: aiosmtpd or cryptography is missing (packages python3-aiosmtpd, python3-cryptography)" >&2
  exit 1
fi

bench_build mailbench
prog="$BENCH_BUILD/bin/mailbench"

# The server, kept for every run; it prints its port once ready.
mkfifo "$work/hold"
"$py" "$SENTROVA_ROOT/tests/mail/peers/tlssmtp.py" "$work/peer" starttls good <"$work/hold" >"$work/port" &
server_pid=$!
exec 3>"$work/hold"
for _ in $(seq 150); do
  grep -q '^PORT ' "$work/port" 2>/dev/null && break
  sleep 0.1
done
port="$(awk '/^PORT/ {print $2}' "$work/port")"
if [ -z "$port" ]; then
  echo "mail-tls benchmark: the TLS server did not start" >&2
  exit 1
fi
ca="$work/peer/ca.pem"

# 1. Our mails once, to capture the exact messages smtplib then sends.
"$prog" --port "$port" --count "$count" --server localhost --security starttls --user alice --password s3cret \
  --ca "$ca" >/dev/null
captured="$(ls "$work/peer"/*.eml 2>/dev/null | wc -l)"
if [ "$captured" -ne "$count" ]; then
  echo "mail-tls benchmark: captured $captured of $count messages" >&2
  exit 1
fi
mkdir "$work/mails"
mv "$work/peer"/*.eml "$work/mails/"

cat >"$work/smtplib_send.py" <<'PY'
import glob, os, smtplib, ssl, sys, time
port, folder, ca = int(sys.argv[1]), sys.argv[2], sys.argv[3]
mails = []
for path in sorted(glob.glob(os.path.join(folder, "*.eml"))):
    data = open(path, "rb").read()
    head, _, content = data.partition(b"\r\n\r\n")
    lines = head.decode("utf-8").split("\r\n")
    sender = lines[0][len("MAIL FROM:<"):-1]
    rcpts = [l[len("RCPT TO:<"):-1] for l in lines[1:]]
    mails.append((sender, rcpts, content))
context = ssl.create_default_context(cafile=ca)
start = time.perf_counter()
for sender, rcpts, content in mails:
    with smtplib.SMTP("localhost", port) as s:
        s.starttls(context=context)
        s.login("alice", "s3cret")
        s.sendmail(sender, rcpts, content)
print("seconds %.6f" % (time.perf_counter() - start))
PY

# 2. Timed runs, after a warm-up of each.
"$prog" --port "$port" --count 10 --server localhost --security starttls --user alice --password s3cret \
  --ca "$ca" >/dev/null
"$py" "$work/smtplib_send.py" "$port" "$work/mails" "$ca" >/dev/null
ours=()
theirs=()
for r in $(seq "$runs"); do
  o="$("$prog" --port "$port" --count "$count" --server localhost --security starttls --user alice \
    --password s3cret --ca "$ca" | awk '/^seconds/ {print $2}')"
  t="$("$py" "$work/smtplib_send.py" "$port" "$work/mails" "$ca" | awk '/^seconds/ {print $2}')"
  echo "run $r: ours $o s, smtplib $t s" >&2
  ours+=("$o")
  theirs+=("$t")
  rm -f "$work/peer"/*.eml
done
exec 3>&-
wait "$server_pid" 2>/dev/null || true
server_pid=""

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
mo="$(median "${ours[@]}")"
mt="$(median "${theirs[@]}")"
awk -v n="$count" -v o="$mo" -v t="$mt" 'BEGIN {
  printf "ours-seconds %.4f\n", o
  printf "smtplib-seconds %.4f\n", t
  printf "ours-mails-per-s %.1f\n", n / o
  printf "smtplib-mails-per-s %.1f\n", n / t
  printf "tls-rate-ratio %.2f\n", (n / o) / (n / t)
}'
