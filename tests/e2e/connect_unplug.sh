#!/usr/bin/env bash
# The real program on a scripted simulated console: it connects, takes the
# live record (the read time is stamped and stored), survives the console
# being unplugged during a history transfer, and reconnects when it is
# plugged in again.
. "$(dirname "$0")/lib/common.bash"

cat >"$work/scenario.txt" <<'SCENARIO'
# a live record, then the console goes away and comes back
live 42 2026-12-08 14:30 21.5 45 3.2 88 0.0 0.0 12.6 20.1 225 SW 1013.2 1009.8 3 1.4 2.0 19.8 50 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 3.0 0.0 4.2 31.0
# Long enough to be seen by a driver slowed by a loaded machine.
wait 5000
unplug
wait 15000
plug
SCENARIO

forget_settings
start_nimbrel "--simulate=$(windows_path "$work/scenario.txt")"
drive wait-text statusbar "$IDC_CONNECTION_TEXT" "USB connected" 30 || fail "not connected on the simulated console"
# The template's sample time is replaced by a stamp when the live record arrives.
for _ in $(seq 100); do
  stamp=$(drive text dashboard "$IDC_READ_TIME" | tr -d '\r')
  [[ $stamp =~ ^[0-9]{2}/\ [0-9]{2}/\ [0-9]{4},\ [0-9]{2}:[0-9]{2}\ (AM|PM)$ ]] && break
  sleep 0.2
done
[[ $stamp =~ ^[0-9]{2}/\ [0-9]{2}/\ [0-9]{4} ]] || fail "read time not stamped: '$stamp'"

drive wait-text statusbar "$IDC_CONNECTION_TEXT" "No connection" 30 || fail "unplug not seen"
drive wait-text statusbar "$IDC_CONNECTION_TEXT" "USB connected" 30 || fail "plug not seen"
drive close || fail "the program did not close"

data=$(drive registry Data | tr -d '\r')
[ ${#data} -eq 128 ] || fail "\"Data\" is not 64 bytes: $data"
echo "PASS"
