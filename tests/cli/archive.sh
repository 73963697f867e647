#!/usr/bin/env bash
# The archive as a user meets it: catch-up twice adds nothing the second
# time, a console whose memory moved on leaves the union, both autumn hours
# are archived and exported as the console exports them, `archive info`
# sees no gap at a clock change, and each archive that cannot be used is
# refused with its reason.
. "$(dirname "$0")/lib.bash"
archive=$work/data/nimbrel/archive.sqlite

# A record at date $1 time $2 with outdoor temperature $3.
rec() {
  echo "history 61 $1 $2 21.0 45 $3 80 0.0 0.0 5.0 7.2 270 W 1013.2 1009.9 1 9.1 $3 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- $3 0.0 0.0 0.0"
}
# Five-minute records of day $1 from hour $2 to hour $3 (exclusive).
hours() {
  awk -v day="$1" -v from="$2" -v to="$3" 'BEGIN { for (h = from; h < to; ++h) for (m = 0; m < 60; m += 5) {
    t = sprintf("%d.%d", h, m / 5)
    printf "history 61 %s %02d:%02d 21.0 45 %s 80 0.0 0.0 5.0 7.2 270 W 1013.2 1009.9 1 9.1 %s --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- %s 0.0 0.0 0.0\n", day, h, m, t, t, t } }'
}
catch_up() { # scenario file; the one line it prints
  "$nimbrel" catch-up --simulate="$1" 2>"$work/err" || fail "catch-up failed: $(cat "$work/err")"
}
export_both() { # scenario file: the console's file and the archive's
  "$nimbrel" export --simulate="$1" --all "$work/console.csv" || fail "console export failed"
  "$nimbrel" export --archive --all "$work/archive.csv" || fail "archive export failed"
}

# ---- catch-up twice, then a memory that moved on -----------------------------
{ echo "$live"; hours 2026-06-01 0 10; } >"$work/first.txt"
{ echo "$live"; hours 2026-06-01 5 12; } >"$work/moved.txt"
line=$(catch_up "$work/first.txt")
[ "$line" = "120 new, 0 already there, 0 given up; archive 2026-06-01 00:00 .. 2026-06-01 09:55" ] ||
  fail "first catch-up said: $line"
line=$(catch_up "$work/first.txt")
[ "$line" = "0 new, 120 already there, 0 given up; archive 2026-06-01 00:00 .. 2026-06-01 09:55" ] ||
  fail "second catch-up said: $line"
line=$(catch_up "$work/moved.txt")
[ "$line" = "24 new, 60 already there, 0 given up; archive 2026-06-01 00:00 .. 2026-06-01 11:55" ] ||
  fail "catch-up of a memory that moved on said: $line"
{ echo "$live"; hours 2026-06-01 0 12; } >"$work/union.txt"
export_both "$work/union.txt"
cmp "$work/console.csv" "$work/archive.csv" || fail "the archive is not the union of both memories"

# The configuration's archive, a ~ for the home folder; run warns when the
# logger is nearly full and nothing was archived for a day.
printf 'archive = ~/mine.sqlite\n' >"$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"
HOME=$work catch_up "$work/first.txt" >/dev/null
[ -s "$work/mine.sqlite" ] || fail "the configuration's archive was not used"
rm "$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"
{ echo "${live/live 42 /live 93 }"; echo "wait 60000"; } >"$work/full-logger.txt"
"$nimbrel" run --simulate="$work/full-logger.txt" --archive="$work/new.sqlite" 2>"$work/run.log" &
wait_for 10 grep -q "logger is 93% full and nothing has been archived for a day" "$work/run.log" ||
  fail "no warning of a full logger: $(cat "$work/run.log")"
stop_promptly $! run

# ---- clock changes (TZ with summer time) ---------------------------------------
# Spring: 02:00 to 02:55 never happen. Autumn: 02:00 to 02:55 come twice.
rm -f "$archive"*
{
  echo "$live"
  hours 2026-03-29 0 2
  hours 2026-03-29 3 4
  hours 2026-10-25 1 3
  hours 2026-10-25 2 4 | sed 's/ 0\.0 0\.0 5\.0 / 0.0 0.0 6.0 /'
} >"$work/dst.txt"
export TZ=Europe/Berlin
catch_up "$work/dst.txt" >/dev/null
export_both "$work/dst.txt"
cmp "$work/console.csv" "$work/archive.csv" || fail "the clock-change export differs from the console's"
[ "$(grep -c '^history .* 2026-10-25 02:' "$work/dst.txt")" = 24 ] || fail "the scenario lost its repeated hour"
"$nimbrel" archive info >"$work/info" || fail "archive info failed"
grep -q "^records   84$" "$work/info" && grep -q "^interval  5 minutes$" "$work/info" ||
  fail "archive info: $(cat "$work/info")"
# Between the days, a gap; at both clock changes none.
grep -q "^gaps      1$" "$work/info" &&
  grep -q "2026-03-29 03:55 .. 2026-10-25 01:00" "$work/info" || fail "gaps: $(cat "$work/info")"
unset TZ

# ---- refusals ----------------------------------------------------------------
refused() { # row name, expected status, expected text, then the command
  local name=$1 status=$2 text=$3
  shift 3
  "$@" >"$work/out" 2>&1
  local got=$?
  [ "$got" = "$status" ] || fail "$name: status $got, not $status: $(cat "$work/out")"
  grep -qF -- "$text" "$work/out" || fail "$name: did not say '$text': $(cat "$work/out")"
}
refused "no archive yet" 1 "there is no archive at $work/none.sqlite yet" \
  "$nimbrel" archive info --archive="$work/none.sqlite"
[ ! -e "$work/none.sqlite" ] || fail "reading made an archive"
bad=$work/bad.sqlite
printf 'station notes, not an archive\n%.0s' $(seq 200) >"$bad"
refused "not SQLite" 1 "$bad is not a nimbrel archive (not an SQLite file)" \
  "$nimbrel" archive info --archive="$bad"
rm -f "$bad" && sqlite3 "$bad" "CREATE TABLE notes(t)"
refused "another program's SQLite file" 1 "$bad is an SQLite file but not a nimbrel archive" \
  "$nimbrel" catch-up --simulate="$work/first.txt" --archive="$bad"
cp "$archive" "$bad" && sqlite3 "$bad" "PRAGMA user_version = 99"
refused "a newer version" 1 "$bad was written by a newer nimbrel (archive version 99" \
  "$nimbrel" export --archive --all --archive="$bad" "$work/x.csv"
[ ! -e "$work/x.csv" ] || fail "a refused export left a file"
rm -f "$bad"* && cp "$archive" "$bad"
sqlite3 "$bad" "PRAGMA wal_checkpoint(TRUNCATE)" >/dev/null
# Pages past the first are overwritten with noise.
dd if=/dev/urandom of="$bad" bs=4096 seek=2 count=3 conv=notrunc status=none
refused "damaged" 1 "$bad is damaged" "$nimbrel" archive info --archive="$bad"
# An undecodable record is kept out and counted; the others are archived.
{ echo "$live"; rec 2026-07-01 10:00 1.0; echo "history 61 2026-07-01 1O:05 garbage"; rec 2026-07-01 10:10 1.1; } \
  >"$work/garbled.txt"
refused "undecodable record" 0 "2 new, 0 already there, 1 given up" \
  "$nimbrel" catch-up --simulate="$work/garbled.txt"
grep -qF "1 records kept out: their date or time cannot be read" "$work/out" ||
  fail "the undecodable record was not logged: $(cat "$work/out")"
# A second program holds the write lock: named, and the archive unchanged.
count() { sqlite3 "$archive" "SELECT count(*) FROM record"; }
before=$(count)
# The lock is held far longer than the merge waits for it, also for a
# program slowed by an emulator; the holder's output is kept off the test's.
sqlite3 "$archive" "BEGIN IMMEDIATE; DELETE FROM record;" ".shell sleep 60" >/dev/null 2>&1 &
holder=$!
wait_for 5 sh -c "grep -q ' $holder ' /proc/locks" || fail "sqlite3 took no lock"
refused "locked" 1 "$archive is locked by sqlite3 (process $holder)" \
  "$nimbrel" catch-up --simulate="$work/moved.txt"
kill $holder; wait $holder 2>/dev/null
[ "$(count)" = "$before" ] || fail "the archive changed under the lock"
# A full disk during a merge: rolled back, what was there before stays.
if unshare -m true 2>/dev/null; then
  # Room for a small archive of 16 KiB pages with its log, not for the long merge.
  small=$work/small
  mkdir -p "$small"
  cat >"$work/full.sh" <<FULL
mount -t tmpfs -o size=320k tmpfs "$small" || exit 99
"$nimbrel" catch-up --simulate="$work/first.txt" --archive="$small/a.sqlite" >/dev/null 2>&1 || exit 98
"$nimbrel" catch-up --simulate="$work/long.txt" --archive="$small/a.sqlite"
echo "status \$?"
sqlite3 "$small/a.sqlite" "PRAGMA integrity_check; SELECT count(*) FROM record"
# run logs the failed catch-up and goes on with the console.
"$nimbrel" run --simulate="$work/run.txt" --archive="$small/a.sqlite" 2>"$work/run.log" &
for _ in \$(seq 100); do grep -q "clock set" "$work/run.log" && break; sleep 0.1; done
kill -TERM \$!
wait \$!
echo "run \$?"
FULL
  { echo "$live"; for d in 01 02 03 04 05 06 07 08; do hours 2026-08-$d 0 24; done; } >"$work/long.txt"
  { cat "$work/long.txt"; echo "wait 500"; echo time-request; echo "wait 60000"; } >"$work/run.txt"
  unshare -m bash "$work/full.sh" >"$work/out" 2>&1
  grep -qF "is full: the merge was rolled back; nothing archived before is lost" "$work/out" &&
    grep -q "^status 1$" "$work/out" && grep -q "^ok$" "$work/out" && grep -q "^120$" "$work/out" ||
    fail "full disk: $(cat "$work/out")"
  grep -q "^run 0$" "$work/out" && grep -q "catch-up: .* is full" "$work/run.log" &&
    sed -n '/is full/,$p' "$work/run.log" | grep -q "console clock set" ||
    fail "run after a full disk: $(cat "$work/out" "$work/run.log")"
else
  echo "full-disk row skipped: no mount namespace for a small file system"
fi
echo PASS
