#!/usr/bin/env bash
# `nimbrel setup` as a station owner meets it after installing: a fresh
# home, a second run that keeps the file, options that would change it,
# a missing rule or group, no service manager, and root refused. The
# service manager and the system's files are stand-ins (NIMBREL_*), the
# program and the configuration it writes are real.
. "$(dirname "$0")/lib.bash"

# setup refuses root, so as root the runs are nobody's, with a copy of the
# program where nobody may read it (the build may sit in root's home).
chmod 711 "$work"
mkdir "$work/bin"
if [ "$(basename "$nimbrel")" = nimbrel-emulated ]; then
  cp "$(dirname "$nimbrel")/nimbrel" "$top/tools/qemu-run" "$work/bin/"
  printf '#!/bin/sh\nexec %s %s "$@"\n' "$work/bin/qemu-run" "$work/bin/nimbrel" >"$work/bin/program"
else
  cp "$nimbrel" "$work/bin/program"
fi
chmod -R a+rX "$work/bin"
chmod a+x "$work/bin/program"
cat >"$work/bin/manager" <<'EOT'
#!/bin/sh
echo "$(basename "$0") $*" >>"$CALLS"
EOT
chmod a+rx "$work/bin/manager"
ln -s manager "$work/bin/systemctl"
ln -s manager "$work/bin/loginctl"

as_user=()
user=$(id -un)
if [ "$(id -u)" = 0 ]; then
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  user=nobody
fi
printf 'root:x:0:\nplugdev:x:46:someone,%s\n' "$user" >"$work/group-with"
printf 'root:x:0:\nplugdev:x:46:someone\n' >"$work/group-without"
touch "$work/rule"
chmod a+r "$work/group-with" "$work/group-without" "$work/rule"

home=$work/home
mkdir "$home"
[ -z "${as_user[*]}" ] || chown nobody "$home"
conf=$home/xdg/nimbrel/nimbrel.conf

# setup with the stand-ins; further variables as NAME=VALUE before the options.
setup() {
  local env=(HOME="$home" XDG_CONFIG_HOME="$home/xdg" PATH=/usr/bin:/bin CALLS="$home/calls"
             NIMBREL_SYSTEMCTL="$work/bin/systemctl" NIMBREL_LOGINCTL="$work/bin/loginctl"
             NIMBREL_UDEV_RULE="$work/rule" NIMBREL_GROUP_FILE="$work/group-with")
  while [[ ${1:-} == NIMBREL_*=* ]]; do env+=("$1"); shift; done
  (cd "$home" && "${as_user[@]}" env -i "${env[@]}" "$work/bin/program" setup "$@") \
    </dev/null >"$work/out" 2>&1
}
said() { grep -qF -- "$1" "$work/out" || fail "$2 did not say \"$1\": $(cat "$work/out")"; }
not_said() { ! grep -qF -- "$1" "$work/out" || fail "$2 said \"$1\": $(cat "$work/out")"; }

# A fresh home: the file where XDG_CONFIG_HOME says, the user's alone, the
# example's settings with the options in, a service switched on by its ID
# and key, the service enabled and lingering.
setup --units=imperial --wind=m/s --wunderground-id=KXYZ1 --wunderground-key='k#&=1' ||
  fail "setup in a fresh home ended with $?: $(cat "$work/out")"
[ -f "$conf" ] || fail "no $conf: $(cat "$work/out")"
[ ! -e "$home/.config" ] || fail "setup wrote to ~/.config despite XDG_CONFIG_HOME"
[ "$(stat -c %a "$conf")" = 600 ] || fail "$conf has mode $(stat -c %a "$conf")"
[ -z "${as_user[*]}" ] || [ "$(stat -c %U "$conf")" = nobody ] || fail "$conf belongs to $(stat -c %U "$conf")"
while read -r line; do
  grep -qxF -- "$line" "$conf" || fail "$conf lacks '$line': $(grep -v '^#' "$conf")"
done <<'EOT'
temperature = F
rain = in
pressure = inHg
wind = m/s
direction = compass
wunderground-id = KXYZ1
wunderground-key = k#&=1
wunderground = on
weathercloud = off
http = 127.0.0.1:8470
catch-up = 03:00
EOT
# What the file says is what the program reads from it.
"${as_user[@]}" env HOME="$home" XDG_CONFIG_HOME="$home/xdg" "$work/bin/program" live --simulate \
  >"$work/live" 2>&1 || fail "live with the written file: $(cat "$work/live")"
grep -qE '^Indoor temperature +[0-9.-]+ °F' "$work/live" || fail "live did not use °F: $(cat "$work/live")"
grep -q warning "$work/live" && fail "live warned of the written file: $(cat "$work/live")"
printf 'systemctl --user enable --now nimbrel.service\nloginctl enable-linger %s\n' "$user" |
  diff - "$home/calls" || fail "the service manager was asked otherwise (< expected, > asked)"
said "The web page: http://127.0.0.1:8470/" "setup"
said "Console: not plugged in" "setup without a console"
not_said "plugdev" "setup for a member of plugdev"
not_said "udev rule" "setup with the rule installed"
cp -p "$conf" "$work/first"

# Run again: the file stays byte for byte, with or without options that
# say what it says already.
for options in "" "--units=imperial --wind=m/s --wunderground-id=KXYZ1"; do
  # shellcheck disable=SC2086
  setup $options || fail "setup run again ($options) ended with $?: $(cat "$work/out")"
  cmp -s "$conf" "$work/first" || fail "setup run again ($options) changed the file"
  said "is kept as it is" "setup run again ($options)"
done

# Options that would change it, without a terminal: listed, nothing written,
# status 1; a key is named, never shown.
setup --units=metric --weathercloud-id=WC9 --weathercloud-key=hidden-key &&
  fail "setup changing the file without a terminal ended with 0: $(cat "$work/out")"
cmp -s "$conf" "$work/first" || fail "setup without a terminal changed the file"
for change in "temperature: F -> C" "wind: m/s -> km/h" "weathercloud-id: (empty) -> WC9" \
  "weathercloud-key: a new key" "weathercloud: off -> on"; do
  said "$change" "setup with changing options"
done
not_said "hidden-key" "setup listing the changes"
not_said "direction:" "setup listing the changes"

# A missing group, a missing rule, and neither of them.
rm "$conf"
setup NIMBREL_GROUP_FILE="$work/group-without" || fail "setup without the group ended with $?"
said "$user is not in the plugdev group" "setup for a user outside plugdev"
said "sudo adduser $user plugdev" "setup for a user outside plugdev"
not_said "udev rule" "setup with the rule installed"
rm "$conf"
setup NIMBREL_UDEV_RULE="$work/no-such-rule" || fail "setup without the rule ended with $?"
said "udev rule is missing" "setup without the rule"
not_said "plugdev group" "setup for a member of plugdev"

# No service manager: the file is written and the commands to run later
# are given.
rm "$conf"
setup NIMBREL_SYSTEMCTL="$work/no-such-program" || fail "setup without systemctl ended with $?"
[ -f "$conf" ] || fail "setup without a service manager wrote no file"
said "The service is not started" "setup without a service manager"
said "systemctl --user enable --now nimbrel" "setup without a service manager"
said "loginctl enable-linger $user" "setup without a service manager"

# Bad values are refused before anything is written.
rm "$conf"
for options in "--units=kelvin" "--temperature=K" "--http=nowhere" "--bogus=1"; do
  # shellcheck disable=SC2086
  setup $options
  [ $? = 2 ] || fail "setup $options ended with $?, not 2: $(cat "$work/out")"
  [ ! -e "$conf" ] || fail "setup $options wrote the file"
done

# Root is refused and nothing is written.
if [ "$(id -u)" = 0 ]; then
  (HOME=$work/root-home XDG_CONFIG_HOME=$work/root-home/xdg "$work/bin/program" setup </dev/null) \
    >"$work/out" 2>&1
  [ $? = 1 ] || fail "setup as root ended with $?: $(cat "$work/out")"
  said "not for root" "setup as root"
  [ ! -e "$work/root-home" ] || fail "setup as root wrote $(find "$work/root-home")"
else
  echo "SKIP root refused: not root"
fi
echo PASS
