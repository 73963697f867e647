#!/usr/bin/env bash
# ./run on a machine that says it is arm64 (a Raspberry Pi): no Wine, but
# the Linux nimbrel on the simulated console, with its web page at the
# address it prints and live readings from the console behind /api/live.
set -u
top=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-machine.XXXXXX")
trap '[ -n "${pid:-}" ] && kill -TERM -- -"$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*"
  [ -f "$work/out" ] && { echo "./run said:"; cat "$work/out"; }
  exit 1
}

mkdir "$work/bin"
cat >"$work/bin/dpkg" <<'EOT'
#!/bin/sh
[ "$1" = --print-architecture ] && { echo arm64; exit 0; }
exec /usr/bin/dpkg "$@"
EOT
chmod +x "$work/bin/dpkg"

# Its own process group, so that the end of the test ends all of it.
cd "$top"
PATH=$work/bin:$PATH setsid ./run --http=127.0.0.1:0 >"$work/out" 2>&1 &
pid=$!
address=
for _ in $(seq 1200); do
  address=$(grep -oE 'http://127\.0\.0\.1:[0-9]+/' "$work/out" | head -1)
  [ -n "$address" ] && break
  kill -0 "$pid" 2>/dev/null || fail "./run ended without a web page"
  sleep 0.1
done
[ -n "$address" ] || fail "./run printed no web page's address in 120 s"
grep -q "simulated console" "$work/out" || fail "./run did not say it runs on the simulated console"
grep -qi "wine" "$work/out" && fail "./run reached for Wine on ARM"

curl -sf "$address" >"$work/page" || fail "no page at $address"
grep -qi "<html" "$work/page" || fail "$address is no web page: $(head -c 300 "$work/page")"
live=
for _ in $(seq 300); do
  live=$(curl -sf "${address}api/live") && grep -q '"source": *"console"' <<<"$live" && break
  sleep 0.1
done
grep -q '"source": *"console"' <<<"$live" || fail "/api/live has no reading of the console: $live"
grep -qE '"outdoor_temperature": *-?[0-9]' <<<"$live" || fail "/api/live has no outdoor temperature: $live"
echo PASS
