#!/usr/bin/env bash
# Export again after an interrupted download, end to end with the real
# buttons on the simulated console; each file is checked against
# expected/export.csv, which a clean download of the same records gives
# (export.sh). Three runs:
#  - the status bar's cancel button pressed mid-download, then Export again;
#  - the console unplugged and plugged in again mid-download, then Export;
#  - Export pressed twice quickly: one download, one file.
# NIMBREL_E2E_RUNS picks some of them (cancel, unplug, twice) by name.
. "$(dirname "$0")/lib/common.bash"
. "$(dirname "$0")/lib/export.bash"

records=1000 # older records, each padded to eight packets
filler_bytes=400

second_export_ends() { # file, what came before
  export_to "$1" 2026 12 7 2026 12 08
  wait_for_progress 100 || fail "$2: no download progress on the second Export"
  wait_for_file_end "$1" || fail "$2: the download after it did not end"
  cmp "$1" "$expected" || fail "$2: the file of the second Export differs from $expected"
}

save_dialogs() { drive save-dialogs | tr -d '\r'; }

# ---- cancel, then Export again ----------------------------------------------
run_cancel() {
  scenario $records >"$work/cancel.txt"
  forget_settings
  start_on_scenario "$work/cancel.txt"
  # A cancel just after a record ends spoils nothing even in a faulty
  # reader; three at different moments make one inside a record likely.
  for pause in 0.6 1.3 0.9; do
    export_to "$work/cancelled.csv" 2026 12 7 2026 12 08
    wait_for_progress 100 || fail "cancel: no download progress shown"
    sleep $pause
    progress_shown || fail "cancel: the download ended before the cancel (raise the records)"
    drive click statusbar "$IDC_CANCEL_DOWNLOAD"
    progress_shown && fail "cancel: the progress stayed after the cancel"
    second_export_ends "$work/again-after-cancel.csv" "cancel after ${pause}s"
    [ ! -e "$work/cancelled.csv" ] || fail "cancel: the cancelled download left a file"
    rm "$work/again-after-cancel.csv"
  done
  drive close || fail "the program did not close"
  echo "cancel: ok"
}

# ---- unplug and plug in, then Export again ----------------------------------
run_unplug() {
  # The unplug comes at a fixed time after the start; Export is pressed so
  # that the download is a few seconds old by then, and three times the
  # records keep it going well past the unplug on a fast machine too.
  unplug_at=25
  scenario $((records * 3)) "wait ${unplug_at}000" unplug "wait 2000" plug >"$work/unplug.txt"
  started=$SECONDS
  start_on_scenario "$work/unplug.txt"
  while [ $((SECONDS - started)) -lt $((unplug_at - 8)) ]; do sleep 0.5; done
  export_to "$work/unplugged.csv" 2026 12 7 2026 12 08
  wait_for_progress 100 || fail "unplug: no download progress shown"
  drive wait-text statusbar "$IDC_CONNECTION_TEXT" "No connection" 60 || fail "unplug: not seen"
  [ ! -e "$work/unplugged.csv" ] || fail "unplug: the download ended before the unplug (raise the records)"
  drive wait-text statusbar "$IDC_CONNECTION_TEXT" "USB connected" 30 || fail "plug: not seen"
  second_export_ends "$work/again-after-unplug.csv" "unplug and plug"
  drive close || fail "the program did not close"
  echo "unplug and plug: ok"
}

# ---- Export pressed twice quickly -------------------------------------------
run_twice() {
  # The second press lands while the first one's save dialog is open (the
  # dialog answers messages); both dialogs that may open are answered.

  scenario $records >"$work/twice.txt"
  start_on_scenario "$work/twice.txt"
  export_clicked 2026 12 7 2026 12 08
  first=$clicking
  for _ in $(seq 100); do [ "$(save_dialogs)" -ge 1 ] && break; sleep 0.1; done
  drive click setup "$IDC_EXPORT" &
  second=$!
  sleep 2
  dialogs=$(save_dialogs)
  n=0
  while [ "$(save_dialogs)" -ge 1 ]; do
    n=$((n + 1))
    drive save-as "$(windows_path "$work/twice-$n.csv")" 5 || fail "twice: save dialog $n"
    sleep 1
  done
  wait $first $second
  wait_for_progress 100 || fail "twice: no download progress shown"
  ended=0
  for _ in $(seq 300); do
    ! progress_shown && ls "$work"/twice-*.csv >/dev/null 2>&1 && { ended=1; break; }
    sleep 0.2
  done
  [ $ended = 1 ] || fail "twice: the download did not end ($dialogs save dialogs answered)"
  sleep 3 # a second download or file would show by now
  progress_shown && fail "twice: a second download runs"
  files=$(ls "$work"/twice-*.csv 2>/dev/null | wc -l)
  [ "$files" = 1 ] || fail "twice: $files files from $dialogs save dialogs (one wanted)"
  cmp "$work"/twice-*.csv "$expected" || fail "twice: the file differs from $expected"
  drive close || fail "the program did not close"
  echo "twice: ok ($dialogs save dialogs)"
}

for run in ${NIMBREL_E2E_RUNS:-cancel unplug twice}; do
  "run_$run"
done
echo "PASS"
