#!/usr/bin/env bash
# An Export over an existing file, cancelled while the file is written:
# the earlier file stays byte for byte and nothing is left beside it.
. "$(dirname "$0")/lib/common.bash"
. "$(dirname "$0")/lib/export.bash"

# Enough records that the file is still being written when the cancel lands,
# also on a loaded machine.
scenario 24000 >"$work/scenario.txt"
forget_settings
start_on_scenario "$work/scenario.txt"
out=$work/kept.csv
printf 'the earlier export, which the cancel must not touch\n' >"$out"
cp "$out" "$work/earlier"
# The whole period: every record makes a row, so the file takes a while.
drive click tabbar "$IDC_TAB_SETUP"
drive check setup "$IDC_WHOLE_PERIOD" 1
export_to "$out"
wait_for_progress 100 || fail "no download progress shown"
# The cancel lands as soon as the file is begun, after the download.
drive click-when-written "$(windows_path "$out")" statusbar "$IDC_CANCEL_DOWNLOAD" 300 || fail "no file was begun"
for _ in $(seq 100); do progress_shown || break; sleep 0.1; done
progress_shown && fail "the progress stayed after the cancel"
sleep 1
cmp "$work/earlier" "$out" ||
  fail "the cancelled export changed the earlier file (or was written before the cancel came: raise the records)"
leftovers=$(ls -A "$work" | grep -c '^~kept' || true)
[ "$leftovers" = 0 ] || fail "the cancelled export left $leftovers file(s) beside it"
drive close || fail "the program did not close"
echo "PASS"
