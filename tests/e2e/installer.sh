#!/usr/bin/env bash
# The packages a Windows user receives, built beside nimbrel.exe: the
# portable zip holds the program, its help file and the read-me; the setup
# program, run silently in a fresh Wine prefix, installs the program with
# its shortcut and uninstall entry, refuses to replace a running copy,
# installs again over itself keeping the settings, and uninstalls cleanly
# leaving the settings behind.
. "$(dirname "$0")/lib/common.bash"

build=$(dirname "$exe")
version=$(head -n1 "$top/VERSION")
setup=$build/nimbrel-setup-$version.exe
portable=$build/nimbrel-$version-portable.zip
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nimbrel'

now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# The version texts in an exe's version resource.
check_version_resource() {
  local texts
  texts=$(strings -el "$1")
  for key in FileVersion ProductVersion; do
    [ "$(grep -A1 -x "$key" <<<"$texts" | sed -n 2p)" = "$version" ] ||
      fail "$key of $2 is not $version"
  done
}

# ---- portable zip ------------------------------------------------------------
[ -f "$portable" ] || fail "no $portable"
listing=$(unzip -Z1 "$portable") || fail "unreadable zip"
for name in nimbrel.exe Nimbrel_help.pdf README.txt; do
  grep -qx "$name" <<<"$listing" || fail "$name missing from the portable zip"
done
unzip -q -d "$work/portable" "$portable" nimbrel.exe README.txt
check_version_resource "$work/portable/nimbrel.exe" "the zip's nimbrel.exe"
grep -q hidraw "$work/portable/README.txt" || fail "the read-me lacks the USB note"

# ---- silent install in a fresh prefix ----------------------------------------
[ -f "$setup" ] || fail "no $setup"
use_fresh_prefix
"$wine_run" cmd /c exit >/dev/null 2>&1 || fail "the Wine prefix was not made"
users=$WINEPREFIX/drive_c/users/$(ls "$WINEPREFIX/drive_c/users" | grep -vx Public | head -n1)
installed=$users/AppData/Local/Programs/Nimbrel
shortcut="$users/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Nimbrel.lnk"

start=$(now)
"$wine_run" "$setup" /S || fail "silent install failed"
install_time=$(seconds_since "$start")
for name in nimbrel.exe Nimbrel_help.pdf uninstall.exe; do
  [ -f "$installed/$name" ] || fail "$name not installed in $installed"
done
check_version_resource "$installed/nimbrel.exe" "the installed nimbrel.exe"
strings "$shortcut" 2>/dev/null | grep -qi 'Programs\\Nimbrel\\nimbrel.exe' ||
  fail "no Start-menu shortcut to the installed program"
[ ! -e "$users/Desktop/Nimbrel.lnk" ] || fail "desktop shortcut made though not chosen"

entry=$("$wine_run" reg query "$uninstall_key" 2>/dev/null | tr -d '\r') || fail "no uninstall entry"
while read -r name pattern; do
  value=$(awk -v n="$name" '$1 == n { sub(/^ *[^ ]+ +[^ ]+ +/, ""); print }' <<<"$entry")
  [[ $value =~ $pattern ]] || fail "uninstall entry $name is '$value'"
done <<ROWS
DisplayName ^Nimbrel$
DisplayVersion ^${version//./\\.}$
Publisher ^Corvalen$
DisplayIcon ^C:\\\\users\\\\.*\\\\Programs\\\\Nimbrel\\\\nimbrel\\.exe$
UninstallString ^\"C:\\\\users\\\\.*\\\\Programs\\\\Nimbrel\\\\uninstall\\.exe\"$
EstimatedSize ^0x[0-9a-f]*[1-9a-f][0-9a-f]*$
ROWS

# ---- the installed program runs; a running copy is not replaced --------------
exe=$installed/nimbrel.exe
forget_settings
start_nimbrel
drive select tabbar "$IDC_LANGUAGE" 1 || fail "could not choose German"
before=$(stat -c %Y "$installed/nimbrel.exe")
status=0
"$wine_run" "$setup" /S || status=$?
[ "$status" -eq 2 ] || fail "install over a running copy gave status $status, not 2"
[ "$(stat -c %Y "$installed/nimbrel.exe")" = "$before" ] || fail "a running copy was replaced"
drive close || fail "the installed program did not close"
setting=$(drive registry ls | tr -d '\r')
[ -n "$setting" ] || fail "the language was not stored"

# ---- a second install keeps the settings -------------------------------------
start=$(now)
"$wine_run" "$setup" /S || fail "second silent install failed"
reinstall_time=$(seconds_since "$start")
[ "$(drive registry ls | tr -d '\r')" = "$setting" ] || fail "the second install lost the settings"
[ -f "$installed/nimbrel.exe" ] || fail "the second install lost the program"

# ---- silent uninstall ---------------------------------------------------------
# The uninstaller runs on from a copy of itself in the temporary folder, so
# its end is seen in the files and the registry.
start=$(now)
"$wine_run" "$installed/uninstall.exe" /S || fail "silent uninstall failed"
for _ in $(seq 150); do
  [ ! -e "$installed" ] && ! "$wine_run" reg query "$uninstall_key" >/dev/null 2>&1 && break
  sleep 0.2
done
uninstall_time=$(seconds_since "$start")
[ ! -e "$installed" ] || fail "files left in $installed: $(ls "$installed")"
[ ! -e "$shortcut" ] || fail "the Start-menu shortcut was left"
! "$wine_run" reg query "$uninstall_key" >/dev/null 2>&1 || fail "the uninstall entry was left"
[ "$(drive registry ls | tr -d '\r')" = "$setting" ] || fail "the uninstall removed the settings"

echo "installer $(stat -c %s "$setup") bytes, portable zip $(stat -c %s "$portable") bytes"
echo "install ${install_time} s, second install ${reinstall_time} s, uninstall ${uninstall_time} s"
echo "PASS"
