#!/usr/bin/env bash
# The program's own tables of commands and settings against what users
# read: every command has its entry in the manual page; every setting is
# in the manual page, in the example configuration with its default, and
# in the help of the command that takes it as an option; and the defaults
# the list gives are the program's own.
. "$(dirname "$0")/lib.bash"

"$nimbrel" --list-commands >"$work/commands" || fail "--list-commands failed"
"$nimbrel" --list-settings >"$work/settings" || fail "--list-settings failed"
[ -s "$work/commands" ] && [ -s "$work/settings" ] || fail "an empty table"
page=$(dirname "$nimbrel")/nimbrel.1
manual=$(LC_ALL=C.UTF-8 groff -man -k -Tascii -P-cbou "$page" 2>/dev/null)
example=$top/packaging/linux/nimbrel.conf
usage=$("$nimbrel" --help)
word() { grep -qE -- "(^|[^a-z0-9-])$1([^a-z0-9-]|$)"; }

while read -r command synopsis; do
  grep -qE "^ {7}$command( |$)" <<<"$manual" || fail "the manual page has no entry for $command"
  grep -qE "^  $command( |$)" <<<"$usage" || fail "the usage text does not list $command"
done <"$work/commands"

defaults=""
# Tabs run together when read splits on them: an empty default would vanish.
while IFS=$'\x1f' read -r name values default option_of; do
  word "(--)?$name" <<<"$manual" || fail "the manual page does not name the setting $name"
  grep -qE "^#?$name =" "$example" || fail "the example configuration lacks $name"
  if grep -qE "^$name =" "$example"; then
    line=$(grep -E "^$name =" "$example")
    [ "$line" = "$name =${default:+ $default}" ] ||
      fail "the example configuration has '$line', the program's default is '$default'"
  fi
  case $option_of in
  -) ;;
  '*') grep -qE -- "^  --$name=" <<<"$usage" || fail "--help does not list --$name" ;;
  *) "$nimbrel" "$option_of" --help | grep -qE -- "^  --$name=" ||
       fail "'$option_of --help' does not list --$name" ;;
  esac
  [ -n "$default" ] && defaults+="$name = $default"$'\n'
done < <(tr '\t' '\037' <"$work/settings")

# Nothing in the example configuration that the program would refuse.
while read -r name; do
  grep -q "^$name"$'\t' "$work/settings" || fail "the example configuration has $name, no setting"
done < <(sed -nE 's/^#?([a-z][a-z0-9-]*) =.*/\1/p' "$example")

# Every default given in a file is taken, and changes nothing the
# readings show.
echo "$live" >"$work/scenario.txt"
printf '%s' "$defaults" >"$work/defaults.conf"
: >"$work/empty.conf"
"$nimbrel" live --simulate="$work/scenario.txt" --config="$work/defaults.conf" >"$work/with" 2>&1 ||
  fail "the defaults were refused: $(cat "$work/with")"
"$nimbrel" live --simulate="$work/scenario.txt" --config="$work/empty.conf" >"$work/without" 2>&1 ||
  fail "an empty configuration was refused: $(cat "$work/without")"
cmp -s "$work/with" "$work/without" || fail "the listed defaults are not the program's: $(diff "$work/with" "$work/without")"
echo PASS
