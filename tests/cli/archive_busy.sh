#!/usr/bin/env bash
# `run` against an archive another program is writing: the catch-up that
# finds it busy is merged again once it is free, without a new download.
. "$(dirname "$0")/lib.bash"
archive=$work/data/nimbrel/archive.sqlite
rec() { # time, outdoor temperature
  echo "history 61 2026-06-01 $1 21.0 45 $2 80 0.0 0.0 5.0 7.2 270 W 1013.2 1009.9 1 9.1 $2 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- $2 0.0 0.0 0.0"
}
{ echo "$live"; rec 10:00 1.0; } >"$work/first.txt"
"$nimbrel" catch-up --simulate="$work/first.txt" >/dev/null 2>"$work/err" ||
  fail "catch-up failed: $(cat "$work/err")"

# Another program holds the write lock for 8 s, longer than the archive
# waits for it.
python3 - "$archive" >"$work/holder.log" 2>&1 <<'HOLD' &
import sqlite3, sys, time
db = sqlite3.connect(sys.argv[1], isolation_level=None)
db.execute("BEGIN IMMEDIATE")
print("holding", flush=True)
time.sleep(8)
db.execute("ROLLBACK")
HOLD
holder=$!
wait_for 5 grep -q holding "$work/holder.log" || fail "the lock was not taken: $(cat "$work/holder.log")"

{ echo "$live"; rec 10:00 1.0; rec 10:05 2.0; rec 10:10 3.0; echo "wait 600000"; } >"$work/run.txt"
"$nimbrel" run --simulate="$work/run.txt" 2>"$work/run.log" &
pid=$!
wait_for 15 grep -q "merging again" "$work/run.log" || fail "the busy archive was not said: $(cat "$work/run.log")"
wait $holder
wait_for 20 grep -q "catch-up: 2 new, 1 already there" "$work/run.log" ||
  fail "the download was not merged once the archive was free: $(cat "$work/run.log")"
[ "$(grep -c "downloading the console's history" "$work/run.log")" = 1 ] ||
  fail "the console was downloaded again: $(cat "$work/run.log")"
stop_promptly $pid run
[ "$(sqlite3 "$archive" "SELECT count(*) FROM record")" = 3 ] || fail "the archive does not hold 3 records"
echo PASS
