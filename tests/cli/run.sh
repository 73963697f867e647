#!/usr/bin/env bash
# `nimbrel run` against a local server standing in for both services: the
# requests arrive as the Windows program sends them for the same bodies and
# credentials, the clock request is answered, an unplug and a plug are
# logged and followed by a reconnect, each connect catches up with the
# console's memory, and SIGTERM ends it within a second.
. "$(dirname "$0")/lib.bash"
python3 "$top/tests/e2e/lib/stand_in_service.py" "$work" 60 &
wait_for 10 test -s "$work/port" || fail "the local server did not start"
port=$(cat "$work/port")

# The bodies and credentials of the Windows end-to-end upload test.
wu_body="dateutc=2026-12-08+14%3A30%3A00&tempf=37.8&humidity=88&baromin=29.82"
wc_body="/temp/32/hum/88/bar/10098"
cat >"$work/scenario.txt" <<SCENARIO
$live
$(history_lines 3)
wu-body $wu_body
wc-body $wc_body
time-request
wait 500
unplug
wait 1000
plug
wait 500
wu-body $wu_body
SCENARIO
cat >"$XDG_CONFIG_HOME/nimbrel/nimbrel.conf" <<'CONFIG'
# both services on
wunderground-id = K 1&2
wunderground-key = p&w#d
wunderground = on
weathercloud-id = cloud-id
weathercloud-key = cloud-key
weathercloud = on
CONFIG
chmod 600 "$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"

"$nimbrel" run --simulate="$work/scenario.txt" --upload-server="127.0.0.1:$port" \
  >"$work/out" 2>"$work/log" &
pid=$!
reconnected() { [ "$(grep -c 'Weather Underground: upload accepted' "$work/log")" = 2 ]; }
wait_for 20 reconnected || fail "no upload after the reconnect: $(cat "$work/log")"
stop_promptly $pid run

expected() { # request line's target, host
  printf 'GET %s HTTP/1.0\r\nHost:  %s\r\n\r\n\0' "$1" "$2"
}
expected "/weatherstation/updateweatherstation.php?ID=K%201%262&PASSWORD=p%26w%23d&$wu_body&softwaretype=vws%20versionxx&action=updateraw&realtime=1&rtfreq=2.5" \
  rtupdate.wunderground.com >"$work/expected-wu"
expected "/v01/set/wid/cloud-id/key/cloud-key$wc_body" api.weathercloud.net >"$work/expected-wc"
requests=$(ls "$work" | grep -c '^w[uc]-[0-9]*$')
[ "$requests" = 3 ] || fail "$requests requests arrived, not 3"
for request in "$work"/w[uc]-*; do
  kind=$(basename "$request" | cut -d- -f1)
  cmp "$work/expected-$kind" "$request" || fail "$kind request differs: $(od -c "$request" | head)"
done

# One line per event, in order. Upload outcomes come from the uploads'
# own thread, so they keep their order among themselves only.
sed 's/^[0-9-]* [0-9:]* //' "$work/log" >"$work/events"
cat >"$work/expected-events" <<'EVENTS'
connected to the console
catch-up: downloading the console's history
catch-up: 3 new, 0 already there, 0 given up; archive 2026-11-20 00:01 .. 2026-11-20 00:03
Weather Underground: upload accepted
Weathercloud: upload refused: HTTP/1.1 200 OK / 401
console clock set from this machine's clock
console disconnected
no console: not plugged in; looking again every 2 s
connected to the console
catch-up: downloading the console's history
catch-up: 0 new, 3 already there, 0 given up; archive 2026-11-20 00:01 .. 2026-11-20 00:03
Weather Underground: upload accepted
stopped
EVENTS
for part in -v ''; do
  diff <(grep $part ': upload ' "$work/expected-events") <(grep $part ': upload ' "$work/events") ||
    fail "the log differs"
done
[ ! -s "$work/out" ] || fail "run wrote to standard output: $(cat "$work/out")"
echo PASS
