# Shared steps of the front end's scripts: each gets the native `nimbrel`
# as $1 and runs it on the simulated console with a configuration folder
# of its own.
set -u
nimbrel=$1
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-cli.XXXXXX")
export XDG_CONFIG_HOME=$work/config
# The archive too stays inside the test.
export XDG_DATA_HOME=$work/data
mkdir -p "$XDG_CONFIG_HOME/nimbrel"
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

# The console of the Windows end-to-end export ($live, `scenario N`,
# $expected), so that both programs are compared on the same one.
. "$top/tests/e2e/lib/export.bash"

# Waits up to $1 seconds for a command to succeed.
wait_for() {
  local tries=$(($1 * 10))
  shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.1; done
  return 1
}

# Sends SIGTERM to pid $1 and fails unless it ends with status 0 promptly:
# a program stuck in a blocking call takes far longer, while a sanitized
# build on a loaded machine may need a few seconds to leave.
stop_promptly() {
  kill -TERM "$1"
  for _ in $(seq 50); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$1" 2>/dev/null && fail "$2 still runs five seconds after SIGTERM"
  wait "$1" || fail "$2 ended with status $? after SIGTERM"
}

# The usage text ($usage), its commands ($commands) and the options every
# command takes ($shared), for the scripts that check the help against it.
options_in() { grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u; }
read_usage() {
  usage=$("$nimbrel" --help) || fail "--help failed"
  commands=$(awk '/^Commands:/ { on = 1; next } /^$/ { on = 0 } on && /^  [a-z]/ { print $1 }' \
    <<<"$usage")
  [ -n "$commands" ] || fail "no commands in the usage text: $usage"
  shared=$(sed -n '/^Options of every command:/,/^$/p' <<<"$usage" | options_in | grep -vx -- --version)
}
# The options the usage text names on command $1's lines.
own_options() { awk -v c="$1" '/^  [a-z]/ { on = $1 == c } /^$/ { on = 0 } on' <<<"$usage" | options_in; }

# The configuration lines of the six services of nimbrel's own, each on
# with an id and a key of its own.
own_services() {
  cat <<'CONFIG'
pwsweather = on
pwsweather-id = pws-1
pwsweather-key = pws&key
wow = on
wow-id = wow-site
wow-key = 123456
windy = on
windy-id = windy-1
windy-key = windy-secret
awekas = on
awekas-id = aw-user
awekas-key = aw-pass
openweathermap = on
openweathermap-id = owm-station
openweathermap-key = owm-secret
cwop = on
cwop-id = CW1234
cwop-key = -1
CONFIG
}
