#!/usr/bin/env bash
# A malformed scenario line is reported with its number and the program
# does not start.
. "$(dirname "$0")/lib/common.bash"

cat >"$work/scenario.txt" <<'SCENARIO'
# the second directive is misspelt
live 42 2026-12-08 14:30 21.5 45 3.2 88 1.3 0.5 12.6 20.1 225 SW 1013.2 1009.8 3
histroy 42 2026-12-08 14:00
SCENARIO

"$wine_run" "$exe" "--simulate=$(windows_path "$work/scenario.txt")" >"$work/program.log" 2>&1 &
pid=$!
said=$(drive message-box 60 | tr -d '\r') || fail "no message box"
echo "message box: $said"
[[ $said == *3* ]] || fail "the message does not name line 3"
wait $pid
status=$?
[ $status -eq 2 ] || fail "exit status $status, expected 2"
grep -q "3" "$work/program.log" || fail "nothing said on standard error"
drive wait-window 1 && fail "a main window appeared"
echo "PASS"
