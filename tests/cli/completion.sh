#!/usr/bin/env bash
# bash completion of nimbrel: it offers every command and option that the
# usage text lists, read from the program's own help, and the values an
# option's help names.
. "$(dirname "$0")/lib.bash"
. /usr/share/bash-completion/bash_completion || fail "bash-completion is not installed"
. "$top/packaging/linux/nimbrel.bash-completion"
compopt() { :; } # works only inside a completion bash itself started

# What completing the line "nimbrel ARGUMENTS" at its end offers, one a
# line; the words split as bash splits them, '=' a word of its own.
offered() {
  local line="$nimbrel $1" word
  COMP_LINE=$line COMP_POINT=${#line} COMP_WORDS=()
  for word in $line; do
    while [[ $word == *=* ]]; do COMP_WORDS+=("${word%%=*}" "="); word=${word#*=}; done
    [[ $word ]] && COMP_WORDS+=("$word")
  done
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMPREPLY=()
  _nimbrel "$nimbrel" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  [ ${#COMPREPLY[@]} = 0 ] || printf '%s\n' "${COMPREPLY[@]}"
}

read_usage

got=$(offered "")
for command in $commands; do
  grep -qx "$command" <<<"$got" || fail "'nimbrel ' does not offer $command: $got"
done
got=$(offered "-")
for option in --help --version; do
  grep -qx -- "$option" <<<"$got" || fail "'nimbrel -' does not offer $option: $got"
done
# A command offers the options the usage text names for it and the shared ones.
all=""
for command in $commands; do
  got=$(offered "$command -")
  all="$all $got"
  for option in $(own_options "$command") $shared; do
    grep -qxE -- "$option=?" <<<"$got" || fail "'nimbrel $command -' does not offer $option: $got"
  done
done
for option in $(options_in <<<"$usage" | grep -vx -- --version); do
  grep -qE -- "(^| )$option=?( |$)" <<<"$all" || fail "no command offers $option"
done

# Values: an option's own choices, file names where a FILE goes, nothing
# where the value is typed.
touch "$work/readings.csv"
while IFS='|' read -r arguments expected; do
  got=$(offered "$arguments" | sort | tr '\n' ' ')
  [ "$got" = "$expected" ] || fail "'nimbrel $arguments' offers '$got', not '$expected'"
done <<EOT
li|live 
live --j|--json 
live --temperature=|C F 
live --temperature |C F 
live --wind=k|km/h knots 
clock --direction=|compass degrees 
live --config=$work/read|$work/readings.csv 
export --all $work/read|$work/readings.csv 
run --simulate=$work/read|$work/readings.csv 
run --simulate |
export --from |
bogus -|
EOT
echo PASS
