#!/usr/bin/env bash
# A known live record on the simulated console reaches the dashboard in the
# user's units: first the defaults, then °F, inHg, mph and degrees chosen
# on the EXPORT & SETUP page, and the choices survive a restart.
. "$(dirname "$0")/lib/common.bash"

cat >"$work/scenario.txt" <<'SCENARIO'
live 42 2026-12-08 14:30 21.5 45 3.2 88 1.3 0.5 12.6 20.1 225 SW 1013.2 1009.8 3 1.4 2.0 19.8 50 --.- -- 7.1 61 --.- -- --.- -- --.- -- --.- -- 3.0 0.0 4.2 31.0
SCENARIO

expect_value() { # control, expected text
  drive wait-text dashboard "$1" "$2" 20 || fail "area $1 does not show '$2'"
}

forget_settings
start_nimbrel "--simulate=$(windows_path "$work/scenario.txt")"
drive wait-text statusbar "$IDC_CONNECTION_TEXT" "USB connected" 30 || fail "not connected"
expect_value "$IDC_INDOOR_TEMP" "21.5 °C"
expect_value "$IDC_INDOOR_HUMIDITY" "45 %"
expect_value "$IDC_OUTDOOR_TEMP" "3.2 °C"
expect_value "$IDC_PRESSURE" "1013.2 hPa"
expect_value "$IDC_WIND_SPEED" "12.6 km/h"
expect_value "$IDC_DIRECTION" "SW"
expect_value "$IDC_DAILY_RAIN" "1.3 mm"
expect_value "$IDC_RAIN_RATE" "0.5 mm/h"
expect_value "$IDC_UV" "3"

# Units chosen on the setup page; the dashboard shows them when it is back.
drive click tabbar "$IDC_TAB_SETUP"
drive select setup "$IDC_TEMP_UNIT" 1 # °F
drive select setup "$IDC_PRESSURE_UNIT" 2 # inHg
drive select setup "$IDC_WIND_UNIT" 0 # mph
drive select setup "$IDC_PRESSURE_KIND" 0 # absolute pressure
drive select setup "$IDC_DIRECTION_STYLE" 1 # degrees
drive click tabbar "$IDC_TAB_DASHBOARD"
expect_value "$IDC_INDOOR_TEMP" "70.7 °F"
expect_value "$IDC_PRESSURE" "29.82 inHg"
expect_value "$IDC_WIND_SPEED" "7.8 mph"
expect_value "$IDC_DIRECTION" "225 °"
drive text dashboard "$IDC_PRESSURE_LABEL" | tr -d "\r" | grep -qx "Absolute Pressure" || fail "pressure caption not switched"

# Channel 2 reports nothing; channel 3 has readings.
drive click dashboard "$IDC_CHANNEL_NEXT"
drive wait-text dashboard "$IDC_CHANNEL_TITLE" "CH 2" 10 || fail "channel title"
expect_value "$IDC_CHANNEL_TEMP" "--.- °F"
drive click dashboard "$IDC_CHANNEL_NEXT"
drive wait-text dashboard "$IDC_CHANNEL_TITLE" "CH 3" 10 || fail "channel title"
expect_value "$IDC_CHANNEL_TEMP" "44.7 °F"
expect_value "$IDC_CHANNEL_HUMIDITY" "61 %"

drive close || fail "the program did not close"
[ "$(drive registry unit | tr -d '\r')" = "010002000001000000000000" ] || fail "units not stored"

# A second start comes up with the stored units.
start_nimbrel "--simulate=$(windows_path "$work/scenario.txt")"
expect_value "$IDC_INDOOR_TEMP" "70.7 °F"
echo "PASS"
