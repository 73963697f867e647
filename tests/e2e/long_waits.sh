#!/usr/bin/env bash
# The program's two long waits, on one simulated console:
# - a download the console leaves half sent runs on with its Cancel button
#   for as long as the console stays plugged in; Cancel ends it and the
#   earlier file of that name stays as it was;
# - uploads go one at a time in arrival order: of two Weathercloud bodies a
#   second apart the first is sent, the second waits out its five minutes
#   of checks for the ten-minute slot and is dropped, and a Weather
#   Underground body that came after them is sent only then.
# About six minutes.
. "$(dirname "$0")/lib/common.bash"

python3 "$(dirname "$0")/lib/stand_in_service.py" "$work" 480 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; finish' EXIT
for _ in $(seq 50); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || fail "the local server did not start"
port=$(cat "$work/port")

{
  echo "live 42 2026-12-08 14:30 21.5 45 3.2 88 0.0 0.0 12.6 20.1 225 SW 1013.2 1009.8 3 1.4 2.0 19.8 50 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 3.0 0.0 4.2 31.0"
  for hour in 10 11 12 13 14 15; do
    echo "history 12 2026-12-07 $hour:00 20.0 50 5.0 70 0.0 0.0 3.0 5.0 90 E 1010.0 1000.0 1 2.0 5.0 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 5.0 0.0 0.0 0.0"
  done
  echo "fault stall 3"
  # Time enough to tick both switches first, even on a loaded machine.
  echo "wait 45000"
  echo "wc-body /temp/32/hum/88"
  echo "wait 1000"
  echo "wc-body /temp/33/hum/87"
  echo "wait 1000"
  echo "wu-body dateutc=2026-12-08+14%3A30%3A00&tempf=37.8"
} >"$work/scenario.txt"

forget_settings
start_nimbrel "--simulate=$(windows_path "$work/scenario.txt")" "--upload-server=127.0.0.1:$port"
drive wait-text statusbar "$IDC_CONNECTION_TEXT" "USB connected" 30 || fail "not connected"
auto_upload_both wu-id wu-key wc-id wc-key

# ---- the download the console leaves ----------------------------------------
out=$work/history.csv
printf 'the earlier export, which the cancel must not touch\n' >"$out"
cp "$out" "$work/earlier"
drive check setup "$IDC_WHOLE_PERIOD" 1
drive click setup "$IDC_EXPORT" &
clicking=$!
drive save-as "$(windows_path "$out")" 30 || fail "no save dialog"
wait $clicking
cancel_shown() { [ "$(drive visible statusbar "$IDC_CANCEL_DOWNLOAD" | tr -d '\r')" = 1 ]; }
for _ in $(seq 100); do cancel_shown && break; sleep 0.1; done
cancel_shown || fail "no download progress shown"
sleep 25
cancel_shown || fail "the download ended by itself while the console stayed plugged in"
said=$(drive message-box 1) && fail "a message came while the download waited: $said"
drive click statusbar "$IDC_CANCEL_DOWNLOAD"
for _ in $(seq 100); do cancel_shown || break; sleep 0.1; done
cancel_shown && fail "the progress stayed after the cancel"
cmp "$work/earlier" "$out" || fail "the cancelled download changed the earlier file"
[ "$(ls -A "$work" | grep -c '^~history' || true)" = 0 ] || fail "a file was left beside the export"

# ---- uploads in arrival order -----------------------------------------------
# The second Weathercloud request is dropped (and says so) before the Weather
# Underground request may reach the server.
dropped="Weathercloud: upload dropped: ten minutes have not passed since the last one"
waited=0
until ls "$work" | grep -q '^wu-'; do
  grep -q "$dropped" "$work/program.log" && break
  [ $waited -lt 420 ] || fail "neither the Weather Underground request nor the drop came"
  sleep 1
  waited=$((waited + 1))
done
ls "$work" | grep -q '^wu-' && ! grep -q "$dropped" "$work/program.log" &&
  fail "the Weather Underground request jumped the Weathercloud wait"
for _ in $(seq 60); do ls "$work" | grep -q '^wu-' && break; sleep 1; done
ls "$work" | grep -q '^wu-' || fail "no Weather Underground request after the wait"
wc=$(ls "$work" | grep -c '^wc-' || true)
[ "$wc" = 1 ] || fail "$wc Weathercloud requests reached the server, not 1"
grep -q '/temp/32/hum/88' "$work"/wc-* || fail "the Weathercloud request sent is not the first one"
echo "Weather Underground went out after about $waited s behind the Weathercloud wait"
drive close || fail "the program did not close"
echo "PASS"
