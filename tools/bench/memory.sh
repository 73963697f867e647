#!/usr/bin/env bash
# Memory of `nimbrel run` with the archive, MQTT and the web page on the
# simulated console: VmRSS and VmHWM (the peak) from /proc after a catch-up
# of a full console memory, after ten full-archive web exports one after
# the other, and after sixteen at once. The simulated console lives in the
# same process and holds its memory there, which a real console does not:
# `serve` (which archives nothing) on the same console with its memory and
# with none shows that share first, and it is part of every figure after it.
# Usage: tools/bench/memory.sh [NIMBREL] [RECORDS]
#   NIMBREL  the program to measure (default build/release/nimbrel)
#   RECORDS  history records of the console (default 60000)
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
nimbrel=$(realpath "${1:-$top/build/release/nimbrel}")
records=${2:-60000}
work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-memory.XXXXXX")
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/nimbrel"

free_port() { python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
broker=$(free_port)
http=$(free_port)
printf 'listener %s 127.0.0.1\npersistence false\nallow_anonymous true\nuser %s\n' "$broker" \
  "$(id -un)" >"$work/broker.conf"
mosquitto -c "$work/broker.conf" >"$work/broker.log" 2>&1 &

# A live record, then a memory of 5-minute records that ends now.
python3 - "$records" >"$work/console.txt" <<'CONSOLE'
import datetime, sys
n = int(sys.argv[1])
tail = " 20.0 50 5.0 70 0.0 0.0 3.0 5.0 90 E 1010.0 1000.0 1 2.0 5.0 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 5.0 0.0 0.0 0.0"
start = datetime.datetime(2026, 12, 8, 14, 30) - datetime.timedelta(minutes=5 * n)
print("live 42 2026-12-08 14:30" + tail)
for i in range(n):
    t = start + datetime.timedelta(minutes=5 * i)
    print("history 12 " + t.strftime("%Y-%m-%d %H:%M") + tail)
print("wait 3600000")
CONSOLE
grep -v '^history' "$work/console.txt" >"$work/empty.txt"

status() { # label
  awk -v label="$1" '/^VmRSS|^VmHWM/ { v[$1] = $2 } END {
    printf "%-34s VmRSS %6.1f MB   VmHWM %6.1f MB\n", label, v["VmRSS:"] / 1024, v["VmHWM:"] / 1024 }' \
    "/proc/$pid/status"
}
rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$pid/status"; }

echo "$nimbrel, $records records"
for memory in empty console; do
  "$nimbrel" serve --simulate="$work/$memory.txt" --http="127.0.0.1:$http" 2>"$work/serve.log" &
  pid=$!
  sleep 5
  if [ $memory = empty ]; then
    empty_kb=$(rss_kb)
  else
    status "serve on the simulated console"
    awk -v kb=$(($(rss_kb) - empty_kb)) \
      'BEGIN { printf "  of which its memory of records    %6.1f MB (in every figure below)\n", kb / 1024 }'
  fi
  kill -TERM $pid
  wait $pid
done

"$nimbrel" run --simulate="$work/console.txt" --mqtt="127.0.0.1:$broker" \
  --http="127.0.0.1:$http" 2>"$work/log" &
pid=$!
for _ in $(seq 1200); do
  grep -q "catch-up: .* new" "$work/log" && break
  kill -0 $pid 2>/dev/null || { cat "$work/log"; exit 1; }
  sleep 0.5
done
grep "catch-up: .* new" "$work/log" || { echo "no catch-up: $(cat "$work/log")"; exit 1; }
sleep 2
status "run, after the catch-up"
bytes=0
for _ in $(seq 10); do
  bytes=$(curl -s -o /dev/null -w '%{size_download}' "http://127.0.0.1:$http/api/export")
done
sleep 1
status "after 10 exports of $((bytes / 1024 / 1024)) MB"
clients=()
for _ in $(seq 16); do
  curl -s -o /dev/null "http://127.0.0.1:$http/api/export" &
  clients+=($!)
done
wait "${clients[@]}"
sleep 1
status "after 16 exports at once"
kill -TERM $pid
wait $pid
