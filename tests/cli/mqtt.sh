#!/usr/bin/env bash
# `nimbrel run` publishes the station on a real broker: discovery configs
# that agree with the state message in two unit sets, the state equal to
# `live --json` for the same record, availability after an unplug, a
# SIGTERM and (the broker's will) a kill -9, everything again after the
# broker restarts or Home Assistant announces itself, and nothing for
# anything else it is sent.
. "$(dirname "$0")/lib.bash"
. "$top/tests/cli/broker.bash"
export TZ=Europe/Berlin
check_discovery() { # station topic
  python3 "$top/tests/cli/check_discovery.py" "$work/configs" "$work/state" "${1:-nimbrel}"
}
start_broker

# The known record, then an unplug the console does not come back from.
printf '%s\nwait 4000\nunplug\nwait 600000\n' "$live" >"$work/scenario.txt"
"$nimbrel" run --simulate="$work/scenario.txt" --mqtt="127.0.0.1:$broker_port" 2>"$work/log" &
pid=$!
wait_for 3 status_is online || fail "no online status: $(cat "$work/log")"
retained nimbrel/state 1 | cut -d' ' -f2- >"$work/state"
echo "$live" >"$work/live.txt"
"$nimbrel" live --json --simulate="$work/live.txt" >"$work/live.json" || fail "live --json failed"
python3 - "$work/state" "$work/live.json" <<'CHECK' || fail "state differs from live --json: $(cat "$work/state")"
import json, sys
state, live = (json.load(open(f, encoding="utf-8")) for f in sys.argv[1:3])
assert state.pop("time") == "2026-12-08T14:30:00+01:00"
live.pop("time")
assert state == live, (state, live)
CHECK
read_configs nimbrel
check_discovery || fail "discovery configs in the default units"
wait_for 5 status_is offline || fail "still online after the unplug"
grep -q "console disconnected" "$work/log" || fail "the unplug was not logged"
kill -TERM $pid
wait $pid

# The other units: their configs replace the default ones, and the
# pressure of the other kind is removed; SIGTERM says offline.
"$nimbrel" run --simulate --mqtt="127.0.0.1:$broker_port" --temperature=F --rain=in \
  --pressure=inHg --wind=knots --pressure-kind=absolute --direction=degrees 2>"$work/log" &
pid=$!
wait_for 3 status_is online || fail "no online status in the other units: $(cat "$work/log")"
in_fahrenheit() { retained nimbrel/state 1 | grep -q '"units":{"temperature":"°F"'; }
wait_for 3 in_fahrenheit || fail "no state in °F"
retained nimbrel/state 1 | cut -d' ' -f2- >"$work/state"
read_configs nimbrel
check_discovery || fail "discovery configs in the other units"
grep -q "/relative_pressure/config" "$work/configs" && fail "the relative pressure config stayed"
stop_promptly $pid "run with MQTT"
status_is offline || fail "not offline after SIGTERM"

# Two stations on one broker, each its own topic, device and archive. A broker that
# goes and comes back gets everything again from both; Home Assistant's
# "online" brings the configs back, other messages nothing.
"$nimbrel" run --simulate --mqtt="127.0.0.1:$broker_port" 2>"$work/log" &
pid=$!
# Two consoles keep two archives: one run per archive.
"$nimbrel" run --simulate --mqtt="127.0.0.1:$broker_port" --mqtt-topic=garden/roof \
  --archive="$work/roof.sqlite" 2>"$work/log2" &
pid2=$!
wait_for 3 status_is online || fail "no online status: $(cat "$work/log")"
stop_broker
start_broker
wait_for 5 status_is online || fail "not online after the broker came back: $(cat "$work/log")"
read_configs nimbrel
retained nimbrel/state 1 | cut -d' ' -f2- >"$work/state"
check_discovery || fail "discovery configs after the broker came back"
topic=garden/roof wait_for 3 status_is online || fail "the second station is not online: $(cat "$work/log2")"
read_configs garden_roof
retained garden/roof/state 1 | cut -d' ' -f2- >"$work/state"
check_discovery garden/roof || fail "the second station's discovery configs"
stop_promptly $pid2 "the second station"
[ "$(grep -c 'MQTT: connected to' "$work/log")" = 2 ] || fail "two connections not logged: $(cat "$work/log")"
grep -q "MQTT: lost the connection to 127.0.0.1:$broker_port" "$work/log" || fail "the loss was not logged"

pub() { mosquitto_pub -h 127.0.0.1 -p "$broker_port" "$@"; }
config=homeassistant/sensor/nimbrel/outdoor_temperature/config
pub -r -n -t "$config"
for other in "homeassistant/status offline" "homeassistant/status junk" "nimbrel/status online"; do
  pub -t "${other% *}" -m "${other#* }"
done
sleep 0.5
[ -z "$(retained "$config" 1)" ] || fail "a message other than Home Assistant's online was acted on"
pub -t homeassistant/status -m online
config_back() { [ -n "$(retained "$config" 1)" ]; }
wait_for 3 config_back || fail "Home Assistant's online brought no configs back"

kill -KILL $pid
wait $pid 2>/dev/null
wait_for 5 status_is offline || fail "the will did not say offline after kill -9"
echo PASS
