#!/usr/bin/env bash
# `nimbrel report` as a user meets it: a month's and a year's climate
# report from the archive, in the units asked for; a period without
# records, a wrong period and a missing archive refused.
. "$(dirname "$0")/lib.bash"

"$nimbrel" report month 2026-12 >/dev/null 2>"$work/err"
[ $? = 1 ] || fail "a report without an archive did not fail"
grep -q 'there is no archive' "$work/err" || fail "without an archive: $(cat "$work/err")"
scenario 0 >"$work/console.txt"
"$nimbrel" catch-up --simulate="$work/console.txt" >/dev/null 2>"$work/err" || fail "catch-up: $(cat "$work/err")"

"$nimbrel" report month 2026-12 >"$work/month" 2>"$work/err" || fail "report month: $(cat "$work/err")"
head -1 "$work/month" | grep -qx 'MONTHLY CLIMATOLOGICAL SUMMARY for DEC 2026' || fail "month title: $(head -1 "$work/month")"
# The 7th by hand: 7.9 and 12.5 °C, 1.5 mm, one wind of 10.1 km/h from 200°.
grep -qx '7      10.2   12.5  12:00    7.9  00:00    8.1    0.0    1.5   10.1   15.2  00:00    SSW' "$work/month" ||
  fail "the 7th: $(grep '^7 ' "$work/month")"
[ "$(grep -c '^[0-9]' "$work/month")" = 31 ] || fail "not a row per day of December"

"$nimbrel" report year 2026 --temperature=F >"$work/year" || fail "report year"
grep -qx 'TEMPERATURE (°F), RAIN (mm), WIND SPEED (km/h)' "$work/year" || fail "year units: $(sed -n 3p "$work/year")"
grep -q '^DEC ' "$work/year" && grep -qx 'NOV' "$work/year" || fail "no rows per month: $(cat "$work/year")"

for period in "month 2026-04|1|no records of 2026-04" "year 2025|1|no records of 2025" \
  "month 2026-13|2|report needs month YYYY-MM or year YYYY" "year 2026-12|2|report needs" "month|2|report needs"; do
  IFS='|' read -r args status said <<<"$period"
  "$nimbrel" report $args >"$work/out" 2>"$work/err"
  [ $? = "$status" ] || fail "report $args: status $? instead of $status"
  grep -q "$said" "$work/err" || fail "report $args said: $(cat "$work/err")"
  [ -s "$work/out" ] && fail "report $args printed: $(cat "$work/out")"
done
echo "report: ok"
