#!/usr/bin/env bash
# `nimbrel export` on a console that does not follow the script: every
# download ends in bounded time with the file of a clean download minus
# the records that did not arrive whole; a console that stops in the middle
# of a download for 10 s, or Ctrl-C, gives a message, exit status 1 and no
# file.
. "$(dirname "$0")/lib.bash"

# Six records of three packets each.
{ echo "$live"; history_lines 6; } >"$work/clean.txt"
"$nimbrel" export --simulate="$work/clean.txt" --all --utf8 "$work/clean.csv" || fail "the clean export failed"
[ "$(wc -l <"$work/clean.csv")" = 8 ] || fail "the clean file has not six rows"

# fault lines (; between them) | records lost, numbered in sending order
while IFS='|' read -r faults lost; do
  { cat "$work/clean.txt"; tr ';' '\n' <<<"$faults"; } >"$work/faulty.txt"
  rm -f "$work/faulty.csv"
  timeout 30 "$nimbrel" export --simulate="$work/faulty.txt" --all --utf8 "$work/faulty.csv" \
    2>"$work/out" || fail "$faults: ended with $?: $(cat "$work/out")"
  awk -v lost=" $lost " 'FNR <= 2 || index(lost, " " FNR - 2 " ") == 0' "$work/clean.csv" >"$work/expected.csv"
  cmp -s "$work/expected.csv" "$work/faulty.csv" ||
    fail "$faults: the file is not the clean one without record(s) $lost: $(diff "$work/expected.csv" "$work/faulty.csv")"
done <<'ROWS'
fault drop 1 1|1
fault drop 3 2|3
fault drop 6 3|6
fault corrupt 1 1 9|
fault corrupt 3 2 10|3
fault corrupt 6 3 12|6
fault repeat 1 1|
fault repeat 3 3|
fault repeat 6 3|
fault live-after 1|
fault live-after 3|
fault stall 6|
fault drop 2 3;fault corrupt 3 1 10|2 3
fault drop 4 3;fault live-after 4|4
ROWS

# The console stops after the third record: no file, and a message.
{ cat "$work/clean.txt"; echo "fault stall 3"; } >"$work/stall.txt"
timeout 30 "$nimbrel" export --simulate="$work/stall.txt" --all "$work/stalled.csv" 2>"$work/out"
status=$?
[ $status = 1 ] || fail "a stalled download ended with $status: $(cat "$work/out")"
grep -q "sent nothing for 10 s in the middle of the download; no file written" "$work/out" ||
  fail "the stall was not reported: $(cat "$work/out")"
[ ! -e "$work/stalled.csv" ] || fail "a stalled download wrote a file"

# Ctrl-C while the console keeps quiet in the middle of the download.
{ cat "$work/clean.txt"; echo "fault stall 2"; } >"$work/quiet.txt"
"$nimbrel" export --simulate="$work/quiet.txt" --all "$work/stopped.csv" 2>"$work/out" &
pid=$!
# Well inside the ten quiet seconds, and late enough for a program under an
# emulator to have started and taken its signals; again while it runs, as a
# user-mode emulator on a loaded machine can let one go by.
sleep 4
for _ in 1 2 3 4 5; do
  kill -INT $pid 2>/dev/null || break
  sleep 1
done
wait $pid
status=$?
[ $status = 1 ] && grep -q "stopped; no file written" "$work/out" ||
  fail "Ctrl-C ended with $status: $(cat "$work/out")"
[ ! -e "$work/stopped.csv" ] || fail "a stopped download wrote a file"
echo PASS
