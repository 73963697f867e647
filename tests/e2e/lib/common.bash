# Shared steps of the end-to-end scripts: each script gets nimbrel.exe and
# the driver as $1 and $2, runs the program under Wine on the display that
# ./test provides, and drives it from outside.
set -u
exe=$1
driver=$2
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)
wine_run=$top/tools/wine-run
# Control ids by their names in resources/resource.h.
. "$top/tools/resource-ids.bash"
work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-e2e.XXXXXX")
app_pid=

# A failure says why in the log alone: the program's own output, and a
# picture of the screen kept beside the build.
fail() {
  echo "FAIL: $*"
  if [ -s "$work/program.log" ]; then
    echo "--- program output"
    cat "$work/program.log"
  fi
  local shots
  shots=$(dirname "$(realpath "$exe")")/e2e-failures
  mkdir -p "$shots" &&
    import -window root "$shots/$(basename "$0" .sh).png" 2>/dev/null &&
    echo "screenshot: $shots/$(basename "$0" .sh).png"
  exit 1
}

drive() {
  "$wine_run" "$driver" "$@"
}

# A Unix path as the program sees it (Wine's Z: drive).
windows_path() {
  printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"
}

forget_settings() {
  "$wine_run" reg delete 'HKCU\Software\Corvalen' /f >/dev/null 2>&1 || true
}

start_nimbrel() {
  "$wine_run" "$exe" "$@" >"$work/program.log" 2>&1 &
  app_pid=$!
  # Wine on a machine busy with the other rings can take its time to start.
  drive wait-window 120 && return
  kill -0 "$app_pid" 2>/dev/null || { wait "$app_pid"; fail "the program ended (status $?) before its main window appeared"; }
  fail "the main window did not appear"
}

# "Auto Upload" on for both services, Weather Underground first; the
# EXPORT & SETUP page stays in front, Weathercloud chosen.
auto_upload_both() { # WU-ID WU-KEY WC-ID WC-KEY
  drive click tabbar "$IDC_TAB_SETUP"
  drive type setup "$IDC_STATION_ID" "$1"
  drive type setup "$IDC_STATION_KEY" "$2"
  drive check setup "$IDC_AUTO_UPLOAD" 1
  drive select setup "$IDC_SERVICE" 1
  drive type setup "$IDC_STATION_ID" "$3"
  drive type setup "$IDC_STATION_KEY" "$4"
  drive check setup "$IDC_AUTO_UPLOAD" 1
}

# A Wine prefix of this script's own, made on first use and removed with
# the work folder, for tests that must start from a clean system.
use_fresh_prefix() {
  export WINEPREFIX=$work/prefix
}

# The program lets one instance run at a time: the next script must not
# start it before this one's instance is gone, or it exits at once.
finish() {
  if [ -n "$app_pid" ] && kill -0 "$app_pid" 2>/dev/null; then
    drive close >/dev/null 2>&1 || kill "$app_pid" 2>/dev/null
    for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$app_pid" 2>/dev/null; then
      kill "$app_pid" 2>/dev/null
      WINEPREFIX=${WINEPREFIX:-$(dirname "$(realpath "$exe")")/wineprefix} wineserver -k >/dev/null 2>&1
    fi
  fi
  [ "${WINEPREFIX:-}" = "$work/prefix" ] && wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap finish EXIT
