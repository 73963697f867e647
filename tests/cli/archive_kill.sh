#!/usr/bin/env bash
# `kill -9` of a catch-up at random moments, again and again: the archive
# always opens, passes SQLite's integrity check and holds a prefix of what
# the full merge gives (never less than it held before).
. "$(dirname "$0")/lib.bash"
archive=$work/archive.sqlite
memory() { # days of five-minute records from 2026-05-01
  echo "$live"
  awk -v days="$1" 'BEGIN { for (d = 1; d <= days; ++d) for (i = 0; i < 288; ++i)
    printf "history 61 2026-05-%02d %02d:%02d 21.0 45 %d.%d 80 0.0 0.0 5.0 7.2 270 W 1013.2 1009.9 1 9.1 5.0 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 5.0 0.0 0.0 0.0\n", d, i / 12, i % 12 * 5, d, i }'
}
memory 4 >"$work/old.txt"
memory 8 >"$work/full.txt"
# The integrity check's answer, then the records in sending order.
rows() { sqlite3 "$1" "PRAGMA integrity_check; SELECT text FROM record ORDER BY ord, minute, repeat"; }

"$nimbrel" catch-up --simulate="$work/old.txt" --archive="$work/base.sqlite" >/dev/null ||
  fail "the first catch-up failed"
rows "$work/base.sqlite" >"$work/base.csv"
cp "$work/base.sqlite" "$work/whole.sqlite"
start=$(date +%s%N)
"$nimbrel" catch-up --simulate="$work/full.txt" --archive="$work/whole.sqlite" >/dev/null ||
  fail "the full catch-up failed"
took_ms=$((($(date +%s%N) - start) / 1000000))
rows "$work/whole.sqlite" >"$work/whole.csv"
base_rows=$(wc -l <"$work/base.csv")
whole_rows=$(wc -l <"$work/whole.csv")

declare -A outcome
for round in $(seq 20); do
  rm -f "$archive"*
  cp "$work/base.sqlite" "$archive"
  "$nimbrel" catch-up --simulate="$work/full.txt" --archive="$archive" >/dev/null 2>&1 &
  pid=$!
  # Anywhere from the download to just after the merge.
  sleep "$(awk -v r=$RANDOM -v t=$took_ms 'BEGIN { printf "%.3f", r / 32768 * t * 1.1 / 1000 }')"
  kill -9 $pid 2>/dev/null
  wait $pid 2>/dev/null
  rows "$archive" >"$work/got.csv" || fail "round $round: the archive does not open"
  check=$(head -n 1 "$work/got.csv")
  [ "$check" = ok ] || fail "round $round: integrity check says $check"
  got=$(wc -l <"$work/got.csv")
  [ "$got" -ge "$base_rows" ] || fail "round $round: $got rows, fewer than the $base_rows before"
  head -n "$got" "$work/whole.csv" | cmp -s - "$work/got.csv" ||
    fail "round $round: the archive is not a prefix of the full merge"
  outcome[$got]=$((${outcome[$got]:-0} + 1))
done
for rows_held in "${!outcome[@]}"; do
  echo "$((rows_held - 1)) records held (of $((base_rows - 1)) before, $((whole_rows - 1)) after): ${outcome[$rows_held]} rounds"
done
echo PASS
