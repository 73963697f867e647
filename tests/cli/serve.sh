#!/usr/bin/env bash
# `nimbrel serve` and `run --http` as a user meets them: the console's live
# reading on /api/live and stale once the console is gone, the archive's
# newest record when no console is there, /api/export the very file
# `nimbrel export --archive` writes, a bad --http refused, SIGTERM obeyed;
# slow clients, a port in use, foreign host names and a second run refused.
. "$(dirname "$0")/lib.bash"
export XDG_DATA_HOME=$work/data

scenario 0 >"$work/console.txt"
"$nimbrel" catch-up --simulate="$work/console.txt" >/dev/null 2>"$work/err" ||
  fail "catch-up failed: $(cat "$work/err")"

# Starts nimbrel with the given arguments on a free port; sets $url and $pid.
serve() {
  # Emptied here, not by the background job's own redirection, which may
  # come after the wait below has found the last server's address.
  : >"$work/log"
  "$nimbrel" "$@" --http=127.0.0.1:0 2>"$work/log" &
  pid=$!
  # The whole line, port and slash: a check that lands while it is being
  # written must not take the address without its port.
  wait_for 10 grep -qE "web page on http://127\.0\.0\.1:[0-9]+/" "$work/log" ||
    fail "$* did not serve: $(cat "$work/log")"
  url=$(grep -oE 'http://127\.0\.0\.1:[0-9]+' "$work/log" | tail -n1)
}
live() { curl -sf "$url/api/live"; }
# Fails unless /api/live holds a JSON value at the dotted path $1 equal to $2.
live_is() {
  live | python3 -c "
import json, sys
v = json.load(sys.stdin)
for k in sys.argv[1].split('.'): v = v[k]
sys.exit(0 if json.dumps(v) == sys.argv[2] else 1)" "$1" "$2"
}

# ---- serve on the console: its live reading, the archive's export ------------
printf 'wunderground-id = IMYSTATION7\nwunderground-key = s3cretKey99\n' >"$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"
chmod 600 "$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"
serve serve --simulate="$work/console.txt"
wait_for 10 live_is source '"console"' || fail "no console reading: $(live)"
live_is stale false || fail "a connected console's reading is stale: $(live)"
live_is readings.outdoor_temperature 3.2 || fail "live outdoor temperature: $(live)"
curl -sf "$url/" | grep -q 'uPlot.iife.min.js' || fail "the page does not load its charts"
for target in / /app.js /texts.json /api/live /api/series /api/summary?period=all; do
  curl -sf "$url$target" | grep -q -e IMYSTATION7 -e s3cretKey99 && fail "$target serves the station ID or key"
done
for period in "from=2026-12-07&to=2026-12-07|--from 2026-12-07 --to 2026-12-07" "|--all"; do
  query=${period%%|*}
  curl -sf "$url/api/export?$query" -o "$work/web.csv" || fail "/api/export?$query failed"
  "$nimbrel" export --archive ${period#*|} "$work/cli.csv" || fail "export --archive ${period#*|} failed"
  cmp "$work/web.csv" "$work/cli.csv" || fail "/api/export?$query differs from export --archive"
done
[ "$(curl -s -o /dev/null -w '%{http_code}' "$url/api/export?from=2026-12-08&to=2026-12-07&sets=wind")" = 400 ] ||
  fail "a period ending before it starts was exported"
# The file goes out as it is read, never held whole: a chunked answer.
curl -sf -D "$work/headers" -o /dev/null "$url/api/export" || fail "/api/export failed"
grep -qi '^transfer-encoding: chunked' "$work/headers" && ! grep -qi '^content-length' "$work/headers" ||
  fail "the export is not streamed: $(cat "$work/headers")"
stop_promptly "$pid" "serve"

# ---- no console: the archive's newest record, stale ----------------------------
printf 'no-history\nunplug\n' >"$work/gone.txt"
serve serve --simulate="$work/gone.txt"
live_is source '"archive"' || fail "without a console: $(live)"
live_is stale true || fail "the archive's record is not stale: $(live)"
live_is read_at '"2026-12-08T09:30"' || fail "not the newest archived record: $(live)"
stop_promptly "$pid" "serve"

# ---- no archive yet: empty charts, and none started -------------------------
XDG_DATA_HOME=$work/empty serve serve --simulate="$work/gone.txt"
live_is source '"none"' || fail "without console and archive: $(live)"
curl -sf "$url/api/series?from=2026-12-07&to=2026-12-07&fields=rain" | grep -q '"sum":\[null,' ||
  fail "charts without an archive: $(curl -s "$url/api/series?from=2026-12-07&to=2026-12-07")"
[ "$(curl -s -o /dev/null -w '%{http_code}' "$url/api/export")" = 400 ] || fail "an export without an archive"
stop_promptly "$pid" "serve"
[ -e "$work/empty/nimbrel/archive.sqlite" ] && fail "serve started an empty archive"

# ---- the page inside run: live from its session, stale after an unplug -------
{ echo "$live"; echo "wait 3000"; echo "unplug"; echo "wait 600000"; } >"$work/unplug.txt"
serve run --simulate="$work/unplug.txt"
wait_for 3 live_is stale false || fail "run's page has no live reading: $(live)"
wait_for 10 live_is stale true || fail "run's page is still live after the unplug: $(live)"
live_is source '"console"' || fail "the last reading is gone after the unplug: $(live)"
stop_promptly "$pid" "run"

# ---- holding up: slow clients, foreign names, one run per archive -------------
status() { curl -s -o /dev/null -w '%{http_code}' "$@"; }
printf 'http-hosts = Station.lan, weather\n' >"$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"
serve serve --simulate="$work/gone.txt"
port=${url##*:}
python3 "$top/tests/cli/slow_clients.py" "$port" trickle >"$work/trickle" &
trickle=$!
python3 "$top/tests/cli/slow_clients.py" "$port" crowd >"$work/crowd" || fail "crowd: $(cat "$work/crowd")"
grep -qx 'ninth: HTTP/1.1 503 Service Unavailable' "$work/crowd" ||
  fail "a ninth connection of one client was not turned away: $(cat "$work/crowd")"
grep -qx 'other: HTTP/1.1 200 OK' "$work/crowd" || fail "stalled clients held up another: $(cat "$work/crowd")"
wait $trickle
grep -qx 'trickle: cut' "$work/trickle" || fail "a header trickling in kept its connection: $(cat "$work/trickle")"
for host in "127.0.0.1:$port|200" "localhost:$port|200" "[::1]:$port|200" "station.lan|200" \
  "weather:$port|200" "rebound.example:$port|421" "127.0.0.1.rebound.example|421"; do
  got=$(status -H "Host: ${host%|*}" "$url/api/live")
  [ "$got" = "${host#*|}" ] || fail "Host ${host%|*}: $got"
done
# The port is this server's alone, even to another nimbrel.
"$nimbrel" serve --simulate="$work/gone.txt" --http=127.0.0.1:"$port" 2>"$work/err" &
second=$!
wait_for 5 sh -c "! kill -0 $second 2>/dev/null" || fail "a second serve on port $port started"
wait $second
[ $? = 1 ] || fail "a second serve on the same port did not fail"
grep -q "cannot listen on 127.0.0.1:$port: the port is in use" "$work/err" || fail "second serve said: $(cat "$work/err")"
stop_promptly "$pid" "serve"
rm "$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"

serve run --simulate="$work/gone.txt"
first_run=$pid
timeout 10 "$nimbrel" run --simulate="$work/gone.txt" 2>"$work/err"
[ $? = 1 ] || fail "a second run on one archive did not stop: $(cat "$work/err")"
# Under an emulator the process holding it is the emulator's.
grep -qE "archive.sqlite is kept by (nimbrel run|qemu-[a-z0-9]+-static) \(process $first_run\); one run per archive" "$work/err" ||
  fail "a second run said: $(cat "$work/err")"
"$nimbrel" serve --simulate="$work/gone.txt" --http=127.0.0.1:0 2>"$work/log2" &
reader=$!
wait_for 10 grep -q "web page on http://" "$work/log2" || fail "serve beside run did not start: $(cat "$work/log2")"
curl -sf "$(grep -o 'http://127.0.0.1:[0-9]*' "$work/log2")/api/summary?period=all" | grep -q '"records":' ||
  fail "serve beside run does not read the archive"
stop_promptly "$reader" "serve beside run"
stop_promptly "$first_run" "run"

# ---- refused addresses -------------------------------------------------------
"$nimbrel" serve --http=localhost 2>"$work/err"
[ $? = 2 ] || fail "--http without a port was not a usage error"
grep -q 'needs ADDRESS:PORT' "$work/err" || fail "bad --http said: $(cat "$work/err")"
# A port another program holds: said, and status 1.
python3 -c 'import socket, sys, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(); print(s.getsockname()[1], flush=True); time.sleep(30)' >"$work/port" &
wait_for 5 test -s "$work/port" || fail "no port to hold"
"$nimbrel" serve --http=127.0.0.1:"$(cat "$work/port")" 2>"$work/err"
[ $? = 1 ] || fail "a port in use did not fail serve"
grep -q 'cannot listen on 127.0.0.1' "$work/err" || fail "a port in use said: $(cat "$work/err")"
echo "serve: ok"
