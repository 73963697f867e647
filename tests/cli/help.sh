#!/usr/bin/env bash
# What the program says of itself: its version, each command's help, and
# the manual page, which renders without a warning and holds every command
# and option that the usage text lists.
. "$(dirname "$0")/lib.bash"

version=$("$nimbrel" --version)
[ "$version" = "nimbrel $(cat "$top/VERSION")" ] || fail "--version said: $version"

read_usage

# A command's help: its synopsis first, then every option the usage text
# names for it and the shared ones, each at the start of a line; alone it
# is no usage error (export needs no FILE for it), and `help COMMAND`
# says the same.
for command in $commands; do
  "$nimbrel" "$command" --help >"$work/help" 2>"$work/err" ||
    fail "'$command --help' ended with $?: $(cat "$work/err")"
  [ ! -s "$work/err" ] || fail "'$command --help' wrote to standard error: $(cat "$work/err")"
  head -1 "$work/help" | grep -q "^Usage: nimbrel $command\b" ||
    fail "'$command --help' starts: $(head -1 "$work/help")"
  "$nimbrel" help "$command" | cmp -s - "$work/help" || fail "'help $command' differs from '$command --help'"
  for option in $(own_options "$command") $shared; do
    grep -qE -- "^ +$option([= []|$)" "$work/help" ||
      fail "'$command --help' does not list $option"
  done
done

# The manual page as the package installs it.
page=$(dirname "$nimbrel")/nimbrel.1
[ -f "$page" ] || fail "no manual page beside $nimbrel"
warnings=$(LC_ALL=C.UTF-8 groff -man -k -ww -z -Tutf8 "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns of the manual page: $warnings"
text=$(LC_ALL=C.UTF-8 groff -man -k -Tascii -P-cbou "$page" 2>/dev/null)
grep -q "nimbrel $(cat "$top/VERSION")" <<<"$text" || fail "the manual page does not carry the version"
missing=""
for command in $commands; do
  grep -qE "^ {7}$command( |$)" <<<"$text" || missing="$missing $command"
done
for option in $(options_in <<<"$usage"); do
  grep -qE -- "(^|[^a-z0-9-])$option([^a-z0-9-]|$)" <<<"$text" || missing="$missing $option"
done
[ -z "$missing" ] || fail "the manual page (docs/nimbrel.1) lacks:$missing"
echo PASS
