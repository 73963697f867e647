#!/usr/bin/env bash
# `nimbrel archive import`: the Windows program's export comes back out of
# the archive byte for byte, a second import changes nothing, the same
# records exported in other units come back to the same file, and a file
# that cannot be read is refused by name and line with nothing of it kept.
. "$(dirname "$0")/lib.bash"
archive=--archive=$work/archive.sqlite

# The Windows program's file (knots, relative pressure, compass points).
"$nimbrel" archive import "$archive" "$expected" >"$work/out" || fail "import failed: $(cat "$work/out")"
grep -qF "export.csv: 3 records read, 3 new, 0 already there, 0 kept" "$work/out" ||
  fail "import said: $(cat "$work/out")"
"$nimbrel" export "$archive" --all --wind=knots "$work/again.csv" || fail "export --archive failed"
cmp "$expected" "$work/again.csv" || fail "the archive's export differs from the imported file"

"$nimbrel" archive import "$archive" "$expected" >"$work/out" || fail "a second import failed"
grep -qF "3 records read, 0 new, 3 already there, 0 kept" "$work/out" ||
  fail "a second import said: $(cat "$work/out")"
"$nimbrel" export "$archive" --all --wind=knots "$work/twice.csv" && cmp "$expected" "$work/twice.csv" ||
  fail "a second import changed the archive"

# The console's own records replace the imported ones of their times.
scenario 0 >"$work/console.txt"
"$nimbrel" catch-up "$archive" --simulate="$work/console.txt" >"$work/out" || fail "catch-up failed"
grep -qF "4 new, 0 already there" "$work/out" || fail "catch-up said: $(cat "$work/out")"
"$nimbrel" export --simulate="$work/console.txt" --all --wind=knots "$work/console.csv" &&
  "$nimbrel" export "$archive" --all --wind=knots "$work/replaced.csv" &&
  cmp "$work/console.csv" "$work/replaced.csv" || fail "the console's records did not replace the imported ones"

# The same console's records in the other units, UTF-8 and UTF-16, with the
# hour that repeats when clocks go back: each file comes back from its own
# archive unchanged.
repeated='history 12 2026-10-25 02:30 20.0 50 5.0 70 0.0 0.0 3.0 5.0 90 E 1010.0 1000.0 1 2.0 5.0 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 5.0 0.0 0.0 0.0'
scenario 30 | sed "1a $repeated\n${repeated/ 5.0 70 / 4.1 71 }" >"$work/scenario.txt"
for units in "--temperature=F --pressure=inHg --wind=mph --rain=in --utf8" \
  "--pressure=mmHg --wind=m/s --pressure-kind=absolute --direction=degrees"; do
  # shellcheck disable=SC2086
  "$nimbrel" export --simulate="$work/scenario.txt" --all $units "$work/units.csv" || fail "export $units"
  rm -f "$work/units.sqlite"*
  "$nimbrel" archive import --archive="$work/units.sqlite" "$work/units.csv" >/dev/null ||
    fail "import of $units failed"
  # shellcheck disable=SC2086
  "$nimbrel" export --archive="$work/units.sqlite" --all $units "$work/units-again.csv" &&
    cmp "$work/units.csv" "$work/units-again.csv" || fail "$units did not come back the same"
done

# Refusals: the file and the line, exit status 1, nothing of the file kept;
# the good file beside a bad one still comes in.
python3 - "$expected" "$work" <<'FILES'
import sys
wide = open(sys.argv[1], "rb").read()
work = sys.argv[2]
open(work + "/cut.csv", "wb").write(wide[:-3])
rows = wide.decode("utf-16-le").split("\n")
rows[33] = rows[33].replace(" 09:30 ", " 9h30 ")
open(work + "/damaged.csv", "wb").write("\n".join(rows).encode("utf-16-le"))
FILES
refused() { # file, line, text
  "$nimbrel" archive import --archive="$work/refusals.sqlite" "$work/scenario.txt" "$1" \
    >"$work/out" 2>&1
  local status=$?
  [ $status = 1 ] || fail "$1 ended with $status, not 1"
  grep -F "$1:$2: " "$work/out" | grep -F "$3" | grep -qF "nothing of it imported" ||
    fail "$1 was refused as: $(cat "$work/out")"
}
refused "$work/scenario.txt" 1 "not an export file"
refused "$work/cut.csv" 34 "half a character"
refused "$work/damaged.csv" 34 "not a date and time"
"$nimbrel" archive import --archive="$work/refusals.sqlite" "$work/damaged.csv" "$expected" >"$work/out" 2>&1
[ $? = 1 ] && grep -qF "3 records read, 3 new" "$work/out" || fail "the good file was not imported: $(cat "$work/out")"
"$nimbrel" export --archive="$work/refusals.sqlite" --all --wind=knots "$work/refusals.csv" &&
  cmp "$expected" "$work/refusals.csv" || fail "a refused file left records in the archive"
echo PASS
