# A private MQTT broker for the publishing scripts: Debian's mosquitto on a
# free loopback port with a configuration of the script's own, and readers
# of what it keeps retained. Sourced after lib.bash.
broker_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
broker_auth=()  # mosquitto_sub's -u/-P when the broker wants them

# As root, mosquitto would become its own user, who cannot read $work.
start_broker() { # extra configuration lines
  printf 'listener %s 127.0.0.1\npersistence false\nuser %s\n%s\n' "$broker_port" "$(id -un)" \
    "${1:-allow_anonymous true}" >"$work/broker.conf"
  mosquitto -c "$work/broker.conf" >>"$work/broker.log" 2>&1 &
  broker_pid=$!
  wait_for 5 grep -q "mosquitto version .* running" "$work/broker.log" || fail "the broker did not start"
}

stop_broker() {
  kill "$broker_pid"
  wait "$broker_pid" 2>/dev/null
  : >"$work/broker.log"
}

# The retained messages under a topic filter as "topic payload" lines; at
# most $2 of them, or what arrives within a second.
retained() {
  mosquitto_sub -h 127.0.0.1 -p "$broker_port" "${broker_auth[@]}" -t "$1" -v --retained-only \
    -C "${2:-1000}" -W 1 2>/dev/null
}

status_is() { [ "$(retained "${topic:-nimbrel}/status" 1)" = "${topic:-nimbrel}/status $1" ]; }

# The retained discovery configs of a device ($1) in $work/configs.
read_configs() { retained "homeassistant/sensor/$1/+/config" 28 >"$work/configs"; }
