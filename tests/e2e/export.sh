#!/usr/bin/env bash
# Export end to end on the simulated console: a period and all data sets
# chosen on the EXPORT & SETUP page, the real Export button and save dialog,
# the download's progress in the status bar, and the file compared byte for
# byte with the expected one. Then a second run where the console is
# unplugged during the download: the program stays usable, shows
# "No connection" and writes no file.
. "$(dirname "$0")/lib/common.bash"
. "$(dirname "$0")/lib/export.bash"

# ---- a complete export -------------------------------------------------------
scenario 2000 >"$work/scenario.txt"
forget_settings
start_on_scenario "$work/scenario.txt"
out=$work/history.csv
export_to "$out" 2026 12 7 2026 12 08
wait_for_progress 100 || fail "no download progress shown"
wait_for_file_end "$out" || fail "the export did not end"
cmp "$out" "$expected" || fail "the exported file differs from $expected"
drive close || fail "the program did not close"

# ---- unplugged during the download -------------------------------------------
scenario 20000 "wait 15000" unplug >"$work/scenario.txt"
start_nimbrel "--simulate=$(windows_path "$work/scenario.txt")"
drive wait-text statusbar "$IDC_CONNECTION_TEXT" "USB connected" 30 || fail "not connected"
out=$work/unplugged.csv
export_to "$out" 2026 12 7 2026 12 08
drive wait-text statusbar "$IDC_CONNECTION_TEXT" "No connection" 60 || fail "unplug not seen"
[ "$(drive visible statusbar "$IDC_CANCEL_DOWNLOAD" | tr -d '\r')" = 0 ] || fail "progress still shown"
drive click tabbar "$IDC_TAB_DASHBOARD"
drive wait-text tabbar "$IDC_TAB_SETUP" "$(drive text tabbar "$IDC_TAB_SETUP" | tr -d "\r")" 10 || fail "not responsive"
[ ! -e "$out" ] || fail "a file was written from an incomplete download"
drive close || fail "the program did not close"
echo "PASS"
