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
drive wait-text statusbar 1199 "USB connected" 30 || fail "not connected"
expect_value 1062 "21.5 °C"
expect_value 1073 "45 %"
expect_value 1169 "3.2 °C"
expect_value 1093 "1013.2 hPa"
expect_value 1177 "12.6 km/h"
expect_value 1183 "SW"
expect_value 1194 "1.3 mm"
expect_value 1197 "0.5 mm/h"
expect_value 1100 "3"

# Units chosen on the setup page; the dashboard shows them when it is back.
drive click tabbar 1037
drive select setup 1201 1 # °F
drive select setup 1203 2 # inHg
drive select setup 1204 0 # mph
drive select setup 1205 0 # absolute pressure
drive select setup 1206 1 # degrees
drive click tabbar 1035
expect_value 1062 "70.7 °F"
expect_value 1093 "29.82 inHg"
expect_value 1177 "7.8 mph"
expect_value 1183 "225 °"
drive text dashboard 1092 | tr -d "\r" | grep -qx "Absolute Pressure" || fail "pressure caption not switched"

# Channel 2 reports nothing; channel 3 has readings.
drive click dashboard 1065
drive wait-text dashboard 1184 "CH 2" 10 || fail "channel title"
expect_value 1186 "--.- °F"
drive click dashboard 1065
drive wait-text dashboard 1184 "CH 3" 10 || fail "channel title"
expect_value 1186 "44.7 °F"
expect_value 1189 "61 %"

drive close || fail "the program did not close"
[ "$(drive registry unit | tr -d '\r')" = "010002000001000000000000" ] || fail "units not stored"

# A second start comes up with the stored units.
start_nimbrel "--simulate=$(windows_path "$work/scenario.txt")"
expect_value 1062 "70.7 °F"
echo "PASS"
