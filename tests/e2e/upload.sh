#!/usr/bin/env bash
# Uploads end to end: the real program on a simulated console whose bodies
# go, once "Auto Upload" is ticked for both services, to a local server
# standing in for both services. The requests must arrive byte for byte,
# the credentials percent-encoded; Weather Underground's success must show
# UPLOAD, and Weathercloud's refusal (status 200, code 401) never may.
. "$(dirname "$0")/lib/common.bash"

# The stand-in service (it stops by itself after a minute and a half).
python3 "$(dirname "$0")/lib/stand_in_service.py" "$work" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; finish' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || fail "the local server did not start"
port=$(cat "$work/port")

live="live 42 2026-12-08 14:30 21.5 45 3.2 88 0.0 0.0 12.6 20.1 225 SW 1013.2 1009.8 3 1.4 2.0 19.8 50 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 3.0 0.0 4.2 31.0"
wu_body="dateutc=2026-12-08+14%3A30%3A00&tempf=37.8&humidity=88&baromin=29.82"
wc_body="/temp/32/hum/88/bar/10098"
{
  echo "$live"
  # Rounds of bodies: the first ones may come before both switches are on.
  for _ in 1 2 3 4; do
    echo "wait 8000"
    echo "wu-body $wu_body"
    echo "wc-body $wc_body"
  done
} >"$work/scenario.txt"

forget_settings
start_nimbrel "--simulate=$(windows_path "$work/scenario.txt")" "--upload-server=127.0.0.1:$port"
drive wait-text statusbar "$IDC_CONNECTION_TEXT" "USB connected" 30 || fail "not connected"
auto_upload_both "K 1&2" "p&w#d" cloud-id cloud-key

# The status text holds "UPLOAD" from the start, hidden: wait until it shows.
status_shown() { # seconds
  for _ in $(seq $(($1 * 2))); do
    [ "$(drive visible setup "$IDC_UPLOAD_TEXT" | tr -d '\r')" = 1 ] && return 0
    sleep 0.5
  done
  return 1
}
wc_received() { ls "$work" | grep -q '^wc-[0-9]*$'; }
for _ in $(seq 120); do wc_received && break; sleep 0.5; done
wc_received || fail "no Weathercloud request received"
sleep 2
if [ "$(drive visible setup "$IDC_UPLOAD_TEXT" | tr -d '\r')" = 1 ]; then
  drive wait-text setup "$IDC_UPLOAD_TEXT" "UPLOAD" 1 && fail "Weathercloud's refusal shows UPLOAD"
fi
drive select setup "$IDC_SERVICE" 0
status_shown 30 || fail "no Weather Underground status shown"
drive wait-text setup "$IDC_UPLOAD_TEXT" "UPLOAD" 5 || fail "Weather Underground status is not UPLOAD"

expected() { # request line's target
  printf 'GET %s HTTP/1.0\r\nHost:  %s\r\n\r\n\0' "$1" "$2"
}
expected "/weatherstation/updateweatherstation.php?ID=K%201%262&PASSWORD=p%26w%23d&$wu_body&softwaretype=vws%20versionxx&action=updateraw&realtime=1&rtfreq=2.5" \
  rtupdate.wunderground.com >"$work/expected-wu"
expected "/v01/set/wid/cloud-id/key/cloud-key$wc_body" api.weathercloud.net >"$work/expected-wc"
for kind in wu wc; do
  first=$(ls "$work" | grep "^$kind-[0-9]*$" | sort -t- -k2 -n | head -1)
  [ -n "$first" ] || fail "no $kind request received"
  cmp "$work/expected-$kind" "$work/$first" || fail "$kind request differs: $(od -c "$work/$first" | head -20)"
done
drive close || fail "the program did not close"
echo "PASS"
