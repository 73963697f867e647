#!/usr/bin/env bash
# A broker that wants a password: a wrong one is logged once while `run`
# keeps trying with a growing pause and the uploads go on; the right one
# from the configuration file (with its permission warning) connects.
. "$(dirname "$0")/lib.bash"
. "$top/tests/cli/broker.bash"
mosquitto_passwd -b -c "$work/passwords" station 's3cret pass' || fail "no password file"
start_broker "allow_anonymous false
password_file $work/passwords"
broker_auth=(-u station -P 's3cret pass')

python3 "$top/tests/e2e/lib/stand_in_service.py" "$work" 60 &
wait_for 10 test -s "$work/port" || fail "the local server did not start"
printf '%s\nwu-body a=1\nwait 4500\nwu-body a=2\nwait 600000\n' "$live" >"$work/scenario.txt"
conf=$XDG_CONFIG_HOME/nimbrel/nimbrel.conf
cat >"$conf" <<CONFIG
wunderground-id = station
wunderground-key = key
wunderground = on
mqtt = 127.0.0.1:$broker_port
mqtt-user = station
mqtt-password = s3cret pass
CONFIG
chmod 644 "$conf"

"$nimbrel" run --simulate="$work/scenario.txt" --upload-server="127.0.0.1:$(cat "$work/port")" \
  --mqtt-password=wrong 2>"$work/log" &
pid=$!
two_uploads() { [ "$(grep -c 'Weather Underground: upload accepted' "$work/log")" = 2 ]; }
wait_for 10 two_uploads || fail "the uploads stopped behind the refusing broker: $(cat "$work/log")"
refusals=$(grep -c "not authorised" "$work/broker.log")
[ "$refusals" -ge 3 ] || fail "$refusals attempts in 4.5 s, not at least 3 (after 1 s, 2 s)"
[ "$refusals" -le 4 ] || fail "$refusals attempts in 4.5 s: the pause does not grow"
grep -q "warning: $conf holds a station key or password" "$work/log" || fail "no permission warning"
[ "$(grep -c MQTT "$work/log")" = 1 ] || fail "not one line for the refusals: $(cat "$work/log")"
grep -q "MQTT: 127.0.0.1:$broker_port refused the connection: Connection Refused: not authorised." \
  "$work/log" || fail "the refusal's reason is not logged: $(cat "$work/log")"
stop_within_a_second $pid "run refused by the broker"

"$nimbrel" run --simulate="$work/scenario.txt" 2>"$work/log" &
pid=$!
wait_for 5 status_is online || fail "not online with the right password: $(cat "$work/log")"
[ -n "$(retained nimbrel/state 1)" ] || fail "no state with the right password"
stop_within_a_second $pid "run with a password"
echo PASS
