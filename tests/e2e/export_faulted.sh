#!/usr/bin/env bash
# A download the console does not send by the script still ends and gives
# the right file: one page cut short (a packet never sent, the next page
# following at once) and a live record in the middle of the download. Both
# hit older records, so the file is the clean download's.
. "$(dirname "$0")/lib/common.bash"
. "$(dirname "$0")/lib/export.bash"

scenario 1000 "fault drop 300 2" "fault live-after 600" >"$work/scenario.txt"
forget_settings
start_on_scenario "$work/scenario.txt"
out=$work/faulted.csv
export_to "$out" 2026 12 7 2026 12 08
wait_for_progress 100 || fail "no download progress shown"
wait_for_file_end "$out" || fail "the faulted download did not end"
cmp "$out" "$expected" || fail "the file of the faulted download differs from $expected"
drive close || fail "the program did not close"
echo "PASS"
