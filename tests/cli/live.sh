#!/usr/bin/env bash
# `nimbrel live` shows what the dashboard shows, in two unit sets, as text
# and as JSON; --watch prints each new record until SIGTERM.
. "$(dirname "$0")/lib.bash"
echo "$live" >"$work/scenario.txt"

"$nimbrel" live --simulate="$work/scenario.txt" >"$work/default.txt" || fail "live failed"
cat >"$work/expected.txt" <<'TEXT'
Read at              2026-12-08 14:30
Logger               42 %
Indoor temperature   21.5 °C
Indoor humidity      45 %
Outdoor temperature  3.2 °C
Outdoor humidity     88 %
Wind speed           12.6 km/h
Wind gust            20.1 km/h
Wind direction       SW
Daily rain           1.3 mm
Rain rate            0.5 mm/h
Relative pressure    1013.2 hPa
Dew point            1.4 °C
Heat index           2.0 °C
UV index             3
CH 1                 19.8 °C   50 %
CH 2                 --.- °C   -- %
CH 3                 7.1 °C   61 %
CH 4                 --.- °C   -- %
CH 5                 --.- °C   -- %
CH 6                 --.- °C   -- %
CH 7                 --.- °C   -- %
TEXT
diff "$work/expected.txt" "$work/default.txt" || fail "default units differ"

# The other units from the configuration file, one overridden on the line.
printf 'temperature = F\nrain = in\npressure = inHg\nwind = mph\npressure-kind = absolute\ndirection = degrees\n' \
  >"$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"
"$nimbrel" live --simulate="$work/scenario.txt" --json --wind=knots >"$work/other.json" ||
  fail "live --json failed"
python3 - "$work/other.json" <<'CHECK' || fail "JSON in the other units is wrong: $(cat "$work/other.json")"
import json, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
assert len(lines) == 1, lines
r = json.loads(lines[0])
expected = {
    "date": "2026-12-08", "time": "14:30",
    "indoor_temperature": 70.7, "outdoor_temperature": 37.7, "dew_point": 34.5,
    "indoor_humidity": 45, "absolute_pressure": 29.82, "wind_speed": 6.8,
    "wind_gust": 10.9, "wind_direction": 225, "daily_rain": 0.05, "rain_rate": 0.02,
    "ch1_temperature": 67.6, "ch2_temperature": None, "ch2_humidity": None,
    "units": {"temperature": "°F", "humidity": "%", "pressure": "inHg", "wind_speed": "knots",
              "rain": "in", "rain_rate": "in/h", "wind_direction": "°"},
}
for key, value in expected.items():
    assert r.get(key) == value, (key, r.get(key), value)
assert "relative_pressure" not in r
CHECK

# A console that is not there: the reason on standard error, and a failure.
printf 'unplug\n' >"$work/unplugged.txt"
if "$nimbrel" live --simulate="$work/unplugged.txt" >"$work/absent.out" 2>"$work/absent.err"; then
  fail "live without a console succeeded"
fi
[ "$(cat "$work/absent.err")" = "nimbrel: no console: not plugged in" ] ||
  fail "the missing console was not explained: $(cat "$work/absent.err")"
[ ! -s "$work/absent.out" ] || fail "live without a console printed: $(cat "$work/absent.out")"

# --watch: the greeting's record, then the built-in weather's next one.
"$nimbrel" live --simulate --watch --json >"$work/watch.json" 2>"$work/watch.log" &
pid=$!
two_records() { [ "$(grep -c '^{' "$work/watch.json")" -ge 2 ]; }
wait_for 15 two_records || fail "--watch printed no second record"
stop_promptly $pid "live --watch"
python3 -c 'import json,sys; [json.loads(l) for l in open(sys.argv[1]) if l.startswith("{")]' \
  "$work/watch.json" || fail "--watch printed a line that is not JSON"
echo PASS
