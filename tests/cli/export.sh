#!/usr/bin/env bash
# `nimbrel export` writes, for the console of the Windows end-to-end
# export, the very file the Windows program writes; --utf8 the same rows
# as UTF-8; a bad period or name is refused with exit status 2, and a
# download the console does not finish writes no file.
. "$(dirname "$0")/lib.bash"

# The Windows test's console: 2000 older records, then the four of the period.
scenario 2000 >"$work/scenario.txt"

"$nimbrel" export --simulate="$work/scenario.txt" --from 2026-12-7 --to 2026-12-08 --wind=knots \
  "$work/history.csv" || fail "export failed"
cmp "$expected" "$work/history.csv" || fail "the file differs from the Windows program's"

"$nimbrel" export --simulate="$work/scenario.txt" --from 2026-12-7 --to 2026-12-08 --wind=knots \
  --utf8 "$work/history8.csv" || fail "export --utf8 failed"
python3 - "$expected" "$work/history8.csv" <<'CHECK' || fail "the UTF-8 file is not the same rows"
import sys
wide = open(sys.argv[1], "rb").read().decode("utf-16-le").lstrip("\ufeff")
narrow = open(sys.argv[2], "rb").read().decode("utf-8")
# The header's quoted two-line titles become one line each.
titles_end = 0
quoted = False
for i, c in enumerate(wide):
    if c == '"':
        quoted = not quoted
    elif c == "\n" and not quoted:
        titles_end = i
        break
titles = wide[:titles_end].replace('"', "").replace("\r\n", " ")
assert narrow == titles + wide[titles_end:], (narrow[:300], titles[:300])
assert "\t" in titles and "Barometric pressure\t" in titles
CHECK

# Refusals: exit status 2 with the reason, and no file.
refused() { # expected text, then arguments
  local text=$1
  shift
  "$nimbrel" export --simulate="$work/scenario.txt" "$@" >"$work/out" 2>&1
  local status=$?
  [ $status = 2 ] || fail "$* ended with $status, not 2"
  grep -qF "$text" "$work/out" || fail "$* did not say '$text': $(cat "$work/out")"
}
refused "Month input error !" --from 2026-13-01 --to 2026-12-08 "$work/a.csv"
refused "Day input error !" --from 2026-12-1a --to 2026-12-08 "$work/a.csv"
refused "a date is YEAR-MONTH-DAY" --from 2026-12 --to 2026-12-08 "$work/a.csv"
refused "File name error!" --all "$work/a.txt"
refused "unknown data set \"sun\"" --all --sets indoor,sun "$work/a.csv"
refused "export needs --all" "$work/a.csv"
[ ! -e "$work/a.csv" ] && [ ! -e "$work/a.txt" ] || fail "a refused export left a file"

# A file that cannot be made is refused before the download, not after it
# (this console would have said it holds no history).
printf '%s\nno-history\n' "$live" >"$work/empty.txt"
"$nimbrel" export --simulate="$work/empty.txt" --all "$work/no/such/folder.csv" 2>"$work/out"
status=$?
[ $status = 1 ] && grep -q "cannot create" "$work/out" || fail "an unwritable file gave $status: $(cat "$work/out")"

# Only the chosen data sets have values.
"$nimbrel" export --simulate="$work/scenario.txt" --all --sets indoor --utf8 "$work/indoor.csv" ||
  fail "export --sets failed"
python3 - "$work/indoor.csv" <<'CHECK' || fail "--sets indoor exported other columns"
import sys
rows = open(sys.argv[1], encoding="utf-8").read().splitlines()
assert len(rows) == 2 + 2004, len(rows)
last = [cell.strip() for cell in rows[-1].split("\t")]
assert last[:5] == ["2026-12-08", "09:30", "", "20.5", "47"], last[:5]
assert all(cell == "" for cell in last[5:]), last
CHECK

# The console goes away in mid-download: no file, exit status 1. A full
# memory takes over a second to download; the unplug comes 300 ms in.
{
  echo "$live"
  awk 'BEGIN { for (i = 0; i < 60000; ++i) print "history 12 2026-12-01 10:00 20.0 50 5.0 70 0.0 0.0 3.0 5.0 90 E 1010.0 1000.0 1 2.0 5.0 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 5.0 0.0 0.0 0.0" }'
  echo "wait 300"
  echo unplug
} >"$work/long.txt"
"$nimbrel" export --simulate="$work/long.txt" --all "$work/cut.csv" 2>"$work/out"
status=$?
[ $status = 1 ] || fail "an unplugged download ended with $status"
grep -q "went away" "$work/out" || fail "the unplug was not reported: $(cat "$work/out")"
[ ! -e "$work/cut.csv" ] || fail "an unplugged download wrote a file"
# A file that cannot be written whole (here a file size limit) leaves the
# earlier file of that name byte for byte, and nothing beside it.
printf 'the earlier export\n' >"$work/kept.csv"
cp "$work/kept.csv" "$work/kept.orig"
(ulimit -f 64 && exec "$nimbrel" export --simulate="$work/scenario.txt" --all "$work/kept.csv") 2>"$work/out"
status=$?
[ $status = 1 ] && grep -q "cannot write" "$work/out" || fail "a cut write gave $status: $(cat "$work/out")"
cmp "$work/kept.orig" "$work/kept.csv" || fail "a failed export changed the earlier file"
[ "$(ls -A "$work" | grep -c '^~kept')" = 0 ] || fail "a failed export left its temporary file"

# On the disk before it takes its name, and the name on the disk after: the
# file is synced before the rename and its folder after. (The leak check
# of a sanitized build cannot run under strace.)
mkdir "$work/synced"
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 strace -f -qq -o "$work/trace" \
  -e trace=openat,fsync,fdatasync,rename,renameat,renameat2,close \
  "$nimbrel" export --simulate="$work/scenario.txt" --all "$work/synced/h.csv" ||
  fail "the traced export failed"
python3 - "$work/trace" "$work/synced" <<'ORDER' || fail "the export is not synced around its rename: $(grep -E 'sync|rename|synced' "$work/trace")"
import re, sys
trace, folder = sys.argv[1], sys.argv[2]
fds, steps = {}, []
for line in open(trace):
    m = re.search(r'openat\(AT_FDCWD, "([^"]*)".*= (\d+)$', line)
    if m:
        fds[m.group(2)] = m.group(1)
        continue
    m = re.search(r'f(?:data)?sync\((\d+)\)\s*= 0', line)
    if m:
        steps.append(("sync", fds.get(m.group(1), "?")))
    elif "rename" in line and "synced/h.csv" in line:
        steps.append(("rename", ""))
names = [s for s in steps if s[0] == "rename"]
assert len(names) == 1, steps
at = steps.index(names[0])
assert any(s[1].startswith(folder + "/~h.csv") for s in steps[:at]), steps
assert any(s[1] == folder for s in steps[at:]), steps
ORDER

echo PASS
