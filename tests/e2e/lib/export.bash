# Shared steps of the export scripts (export.sh, export_again.sh): the
# scenario whose period 2026-12-07 .. 2026-12-08 gives expected/export.csv,
# the Export button with its save dialog, and the waits on the download.
# Sourced after common.bash.
expected=$top/tests/e2e/expected/export.csv

live='live 42 2026-12-08 14:30 21.5 45 3.2 88 1.3 0.5 12.6 20.1 225 SW 1013.2 1009.8 3 1.4 2.0 19.8 50 --.- -- 7.1 61 --.- -- --.- -- --.- -- --.- -- --.- -- 3.0 0.0 4.2 31.0'
# Enough older records for the download to take a while; only the three of
# 2026-12-07 and 2026-12-08 fall into the period.
# A second argument pads each of them to about that many bytes with empty
# fields after the last one the program reads: more
# packets a record, so that an interruption lands inside one more often.
history_lines() {
  awk -v n="$1" -v pad="${2:-0}" 'BEGIN { for (i = 1; i <= n; ++i) {
    line = sprintf("12 2026-11-20 %02d:%02d 20.0 50 5.0 70 0.0 0.0 3.0 5.0 90 E 1010.0 1000.0 1 2.0 5.0 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 5.0 0.0 0.0 0.0", int(i / 60) % 24, i % 60)
    while (length(line) + 2 <= pad) line = line " -"
    print "history " line } }'
}

scenario() { # number of older records, then extra directives
  echo "$live"
  history_lines "$1" "${filler_bytes:-0}"
  cat <<'RECORDS'
history 12 2026-12-06 23:30 19.0 44 -0.1 90 2.0 0.0 7.0 9.0 45 NE 1015.0 1003.0 0 -1.0 -0.1 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- -2.0 0.0 2.0 20.0
history 12 2026-12-07 00:00 21.1 45 7.9 80 1.5 0.3 10.1 15.2 200 SSW 1013.4 1001.3 3 4.6 7.9 19.4 50 18.2 51 17.3 52 16.4 53 15.5 54 14.6 55 13.7 56 7.8 0.2 4.4 14.8
history 12 2026-12-07 12:00 22.0 40 12.5 60 -.- -.- --.- --.- --- --- ---.- ---.- 5 --.- --.- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- --.- -.- -.- -.-
history 12 2026-12-08 09:30 20.5 47 2.0 95 4.0 1.2 36.0 50.4 270 W 998.0 986.1 0 0.5 2.0 1.0 80 --.- -- --.- -- --.- -- --.- -- --.- -- --.- -- 0.1 1.0 8.0 40.0
RECORDS
  shift
  for directive in "$@"; do echo "$directive"; done
}

# The program on a scenario, connected, with the unit export.csv was made in.
start_on_scenario() { # scenario file
  start_nimbrel "--simulate=$(windows_path "$1")"
  drive wait-text statusbar "$IDC_CONNECTION_TEXT" "USB connected" 30 || fail "not connected"
  drive select setup "$IDC_WIND_UNIT" 3 # knots
}

# The period and all data sets on the EXPORT & SETUP page; Export's click
# goes out in the background, since it waits in the save dialog.
export_clicked() { # the six date fields
  drive click tabbar "$IDC_TAB_SETUP"
  local fields=("$IDC_START_YEAR" "$IDC_START_MONTH" "$IDC_START_DAY" "$IDC_END_YEAR"
    "$IDC_END_MONTH" "$IDC_END_DAY") i=0
  for value in "$@"; do
    drive type setup "${fields[i]}" "$value" || fail "date field ${fields[i]}"
    i=$((i + 1))
  done
  drive click setup "$IDC_SELECT_ALL"
  drive click setup "$IDC_EXPORT" &
  clicking=$!
}

export_to() { # file, then the six date fields
  local file=$1
  shift
  export_clicked "$@"
  drive save-as "$(windows_path "$file")" 30 || fail "no save dialog"
  wait $clicking
}

progress_shown() {
  [ "$(drive visible statusbar "$IDC_CANCEL_DOWNLOAD" | tr -d '\r')" = 1 ]
}

wait_for_progress() { # tenths of a second
  for _ in $(seq "$1"); do
    progress_shown && return 0
    sleep 0.1
  done
  return 1
}

wait_for_file_end() { # file: the progress is hidden only after the worker closed it
  for _ in $(seq 300); do
    [ "$(drive visible statusbar "$IDC_CANCEL_DOWNLOAD" | tr -d '\r')" = 0 ] && [ -s "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
