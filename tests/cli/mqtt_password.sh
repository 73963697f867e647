#!/usr/bin/env bash
# A broker that wants a password: a wrong one is logged once while `run`
# keeps trying with a growing pause and the uploads go on; the right one
# from the configuration file (with its permission warning) connects, over
# TLS checked against the CA it is given.
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
grep -q "MQTT: 127.0.0.1:$broker_port refused the connection: not authorised;" \
  "$work/log" || fail "the refusal's reason is not logged: $(cat "$work/log")"
stop_promptly $pid "run refused by the broker"

# The right password, over TLS to a broker whose certificate our own CA
# signed: refused without that CA, connected with it.
key() { openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes "$@" 2>/dev/null; }
key -x509 -days 2 -subj /CN=test-ca -keyout "$work/ca.key" -out "$work/ca.pem"
key -subj /CN=127.0.0.1 -keyout "$work/server.key" -out "$work/server.csr"
printf 'subjectAltName=IP:127.0.0.1\n' >"$work/san"
openssl x509 -req -in "$work/server.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial \
  -days 2 -extfile "$work/san" -out "$work/server.pem" 2>/dev/null || fail "no server certificate"
stop_broker
start_broker "allow_anonymous false
password_file $work/passwords
cafile $work/ca.pem
certfile $work/server.pem
keyfile $work/server.key"
broker_auth+=(--cafile "$work/ca.pem")

"$nimbrel" run --simulate="$work/scenario.txt" --mqtt-tls=on 2>"$work/log" &
pid=$!
tls_refused() { grep -q "MQTT: cannot connect to 127.0.0.1:$broker_port: A TLS error occurred;" "$work/log"; }
wait_for 5 tls_refused || fail "a certificate from an unknown CA was not refused: $(cat "$work/log")"
stop_promptly $pid "run refused by TLS"

"$nimbrel" run --simulate="$work/scenario.txt" --mqtt-tls=on --mqtt-ca="$work/ca.pem" 2>"$work/log" &
pid=$!
wait_for 5 status_is online || fail "not online over TLS with the right password: $(cat "$work/log")"
[ -n "$(retained nimbrel/state 1)" ] || fail "no state over TLS"
stop_promptly $pid "run over TLS"
echo PASS
