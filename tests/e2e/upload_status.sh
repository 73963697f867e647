#!/usr/bin/env bash
# The upload status of a service switched on while the console is away:
# "Auto Upload" ticked during an unplug, the console plugged in again, and
# no server to take the uploads. The status interval (shortened to 3 s)
# starts at the connect, so FAIL shows at its end.
. "$(dirname "$0")/lib/common.bash"

cat >"$work/scenario.txt" <<'SCENARIO'
live 42 2026-12-08 14:30 21.5 45 3.2 88 0.0 0.0 12.6 20.1 225 SW 1013.2 1009.8 3 1.4 2.0 19.8 50 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 3.0 0.0 4.2 31.0
wait 4000
unplug
wait 12000
plug
SCENARIO

forget_settings
start_nimbrel "--simulate=$(windows_path "$work/scenario.txt")" --upload-status-period=3
drive wait-text statusbar "$IDC_CONNECTION_TEXT" "No connection" 40 || fail "unplug not seen"
drive click tabbar "$IDC_TAB_SETUP"
drive type setup "$IDC_STATION_ID" "KSTATION1"
drive type setup "$IDC_STATION_KEY" "key"
drive check setup "$IDC_AUTO_UPLOAD" 1
[ "$(drive visible setup "$IDC_UPLOAD_TEXT" | tr -d '\r')" = 0 ] || fail "a status shows before the console is back"
drive wait-text statusbar "$IDC_CONNECTION_TEXT" "USB connected" 40 || fail "plug not seen"
for _ in $(seq 40); do
  [ "$(drive visible setup "$IDC_UPLOAD_TEXT" | tr -d '\r')" = 1 ] && break
  sleep 0.5
done
drive wait-text setup "$IDC_UPLOAD_TEXT" "FAIL" 1 || fail "no FAIL after an interval without an upload"
drive close || fail "the program did not close"
echo "PASS"
