#!/usr/bin/env bash
# The configuration file and the command line: a bad line is refused with
# the file, its number and what was expected (exit status 2); a key in a
# file others may read draws a warning; a bad option is a usage error.
. "$(dirname "$0")/lib.bash"
conf=$XDG_CONFIG_HOME/nimbrel/nimbrel.conf
echo "$live" >"$work/scenario.txt"

bad_line() { # line 2 of the file, what must be said
  printf '# units\n%s\n' "$1" >"$conf"
  "$nimbrel" live --simulate="$work/scenario.txt" >"$work/out" 2>&1
  local status=$?
  [ $status = 2 ] || fail "'$1' ended with $status, not 2"
  grep -qF "$conf:2: $2" "$work/out" || fail "'$1' said: $(cat "$work/out")"
}
bad_line "temperature = K" 'temperature: expected C or F, not "K"'
bad_line "wind = kmh" 'wind: expected mph, m/s, km/h or knots, not "kmh"'
bad_line "pressure hPa" "expected NAME = VALUE"
bad_line "colour = blue" 'unknown setting "colour"'
bad_line "weathercloud = yes" 'weathercloud: expected on or off, not "yes"'
bad_line "mqtt = broker:99999" 'mqtt: expected HOST or HOST:PORT, not "broker:99999"'
bad_line "mqtt = [::1" 'mqtt: expected HOST or HOST:PORT, not "[::1"'
bad_line "mqtt-topic = home/#" 'mqtt-topic: expected letters, digits, "-_." and single "/" between them, not "home/#"'
bad_line "mqtt-discovery-prefix = a//b" 'mqtt-discovery-prefix: expected letters'
bad_line "mqtt-tls = 1" 'mqtt-tls: expected on or off, not "1"'
bad_line "wunderground-key = $(printf 'k%.0s' $(seq 64))" "wunderground-key: expected at most 63 bytes"
bad_line "catch-up = 3:00" 'catch-up: expected HH:MM or off, not "3:00"'
bad_line "catch-up = 24:00" 'catch-up: expected HH:MM or off, not "24:00"'
bad_line "archive =" "archive: expected a file name"

# A good file: a key holding '#' and '=' is kept whole; readable by others
# it draws a warning, but the command still runs.
printf 'temperature = F\nwunderground-key = a#b=c\n' >"$conf"
chmod 644 "$conf"
"$nimbrel" live --simulate="$work/scenario.txt" >"$work/out" 2>"$work/err" || fail "a good file was refused"
grep -q "Indoor temperature   70.7 °F" "$work/out" || fail "the file's unit was not used"
grep -q "warning: $conf holds a station key or password and others may read it" "$work/err" ||
  fail "no warning for a readable key: $(cat "$work/err")"
chmod 600 "$conf"
"$nimbrel" live --simulate="$work/scenario.txt" >/dev/null 2>"$work/err"
[ ! -s "$work/err" ] || fail "a private file drew: $(cat "$work/err")"

# An editor's byte-order mark before the first line is no part of it.
printf '\xEF\xBB\xBFtemperature = F\n' >"$conf"
"$nimbrel" live --simulate="$work/scenario.txt" | grep -q "Indoor temperature   70.7 °F" ||
  fail "a file starting with a byte-order mark was not read"

# What cannot be a configuration is refused with its reason, never waited
# on or taken as empty; a setting given twice names both lines; a file
# beyond 1 MiB is refused, not read in part (its last line is a bad one).
mkdir "$work/folder"
mkfifo "$work/fifo"
printf 'temperature = F\nrain = in\ntemperature = C\n' >"$work/twice.conf"
{ yes "# $(printf '%062d' 0)" | head -n 20000; echo "colour = blue"; } >"$work/big.conf"
while IFS='|' read -r file expected; do
  timeout 10 "$nimbrel" live --simulate="$work/scenario.txt" --config="$work/$file" >"$work/out" 2>&1
  status=$?
  [ $status = 2 ] || fail "--config=$file ended with $status, not 2: $(cat "$work/out")"
  grep -qF "$expected" "$work/out" || fail "--config=$file said: $(cat "$work/out")"
done <<EOT
folder|cannot read $work/folder: it is a directory
fifo|cannot read $work/fifo: it is not a regular file
twice.conf|$work/twice.conf:3: temperature: set again, first on line 1
big.conf|cannot read $work/big.conf: it is larger than 1 MiB
EOT

# A password on the command line shows in the process list: one warning,
# however often it is given; the command still runs.
"$nimbrel" live --simulate="$work/scenario.txt" --mqtt-password=a --mqtt-password=b >/dev/null \
  2>"$work/err" || fail "a password option was refused: $(cat "$work/err")"
[ "$(grep -c -- "warning: --mqtt-password is seen by every user" "$work/err")" = 1 ] ||
  fail "a password option drew: $(cat "$work/err")"

# The example file that packaging/linux offers is a good one.
"$nimbrel" live --simulate="$work/scenario.txt" --config="$top/packaging/linux/nimbrel.conf" \
  >/dev/null || fail "the example configuration was refused"

usage() { # what must be said, arguments
  local text=$1
  shift
  "$nimbrel" "$@" >"$work/out" 2>&1
  local status=$?
  [ $status = 2 ] || fail "'$*' ended with $status, not 2"
  grep -qF -- "$text" "$work/out" || fail "'$*' said: $(cat "$work/out")"
}
usage 'unknown command "show"' show
usage 'unknown option "--watch" for run' run --watch
usage 'unknown command "show"' help show
usage "--temperature: expected C or F" live --temperature=X
usage "--upload-server needs HOST:PORT" run --upload-server=nohost
usage "archive needs info or import" archive
usage 'unknown archive action "list"' archive list
usage "--archive= needs a file name" catch-up --archive=
usage "--mqtt: expected HOST or HOST:PORT" run --mqtt=host:
usage "--mqtt-topic: expected letters" run --mqtt-topic=/station
usage "Cannot read the scenario file" live --simulate="$work/none.txt"
echo "bogus directive" >"$work/bad.txt"
usage "Scenario $work/bad.txt, " live --simulate="$work/bad.txt"
echo PASS
