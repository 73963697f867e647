#!/usr/bin/env bash
# The Debian package of the tree given as $1 (configured with NIMBREL_DEB)
# for architecture $2 (this machine's when not given): CPack builds it,
# lintian finds nothing above a note, it holds the files and fields it
# should. A package of this machine's architecture is, as root, installed
# with apt, used and purged, and the user's own configuration and archive
# outlive the purge; an ARM package built here runs under qemu-user.
set -u
build=$(cd "$1" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
version=$(cat "$top/VERSION")
arch=${2:-$(dpkg --print-architecture)}
deb=$build/nimbrel_${version}_$arch.deb
work=$(mktemp -d "${TMPDIR:-/tmp}/nimbrel-deb.XXXXXX")
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

rm -f "$deb"
(cd "$build" && cpack --config CPackConfig.cmake) >"$work/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$work/cpack.log")"
[ -f "$deb" ] || fail "cpack made no $deb: $(cat "$work/cpack.log")"

lintian --fail-on error,warning "$deb" >"$work/lintian" 2>&1 || fail "lintian: $(cat "$work/lintian")"
! grep -E '^(E|W):' "$work/lintian" || fail "lintian found the above"

[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version: $(dpkg-deb -f "$deb" Version)"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "Architecture: $(dpkg-deb -f "$deb" Architecture)"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libstdc++6 libhidapi-hidraw0 libcurl4; do
  tr ',' '\n' <<<"$depends" | awk '{ print $1 }' | grep -qxF "$library" ||
    fail "Depends lacks $library: $depends"
done
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $1, $2, $6 }' | sort >"$work/files"
sort >"$work/expected" <<EOT
-rwxr-xr-x root/root ./usr/bin/nimbrel
-rw-r--r-- root/root ./usr/lib/systemd/user/nimbrel.service
-rw-r--r-- root/root ./usr/lib/udev/rules.d/70-nimbrel.rules
-rw-r--r-- root/root ./usr/share/bash-completion/completions/nimbrel
-rw-r--r-- root/root ./usr/share/doc/nimbrel/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/nimbrel/copyright
-rw-r--r-- root/root ./usr/share/doc/nimbrel/examples/nimbrel.conf
-rw-r--r-- root/root ./usr/share/man/man1/nimbrel.1.gz
EOT
diff "$work/expected" "$work/files" || fail "the package's files differ from the list above (< expected, > found)"

dpkg-deb -x "$deb" "$work/root"
grep -qx "ExecStart=/usr/bin/nimbrel run" "$work/root/usr/lib/systemd/user/nimbrel.service" ||
  fail "the user unit does not run /usr/bin/nimbrel"
zcat "$work/root/usr/share/man/man1/nimbrel.1.gz" | grep -q "nimbrel $version" ||
  fail "the manual page does not carry the version"

# A package for another architecture: its program is that architecture's,
# hardened as Debian builds, and runs.
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
  program=$work/root/usr/bin/nimbrel
  case $arch in
    arm64) machine="ARM aarch64" ;;
    armhf) machine="ARM, EABI5" ;;
    *) machine="?" ;;
  esac
  file -b "$program" | grep -qF "$machine" || fail "usr/bin/nimbrel is not for $arch: $(file -b "$program")"
  file -b "$program" | grep -qF "pie executable" || fail "usr/bin/nimbrel is no PIE: $(file -b "$program")"
  readelf -d "$program" | grep -q "BIND_NOW" || fail "usr/bin/nimbrel lacks full RELRO"
  [ "$("$top/tools/qemu-run" "$program" --version)" = "nimbrel $version" ] ||
    fail "--version under qemu: $("$top/tools/qemu-run" "$program" --version 2>&1)"
  XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/data "$top/tools/qemu-run" "$program" live --simulate \
    --temperature=F >"$work/live" 2>&1 || fail "live --simulate under qemu: $(cat "$work/live")"
  grep -qE "^Indoor temperature +[0-9.-]+ °F" "$work/live" || fail "live --simulate said: $(cat "$work/live")"
  echo "PASS (not installed: a package for $arch)"
  exit 0
fi

# Installing changes the machine: only as root, one test at a time (other
# trees may run this test too), never over a nimbrel installed otherwise,
# and always purged again. A marker tells a run killed before its purge.
if [ "$(id -u)" != 0 ]; then
  echo "SKIP installing: not root"
  echo PASS
  exit 0
fi
exec 9>/run/lock/nimbrel-package-test.lock
flock -w 600 9 || fail "another package test held the lock for ten minutes"
marker=/run/lock/nimbrel-package-test.installed
export DEBIAN_FRONTEND=noninteractive
apt() { apt-get -o DPkg::Lock::Timeout=300 -y "$@" >>"$work/apt.log" 2>&1; }
installed() { dpkg-query -W -f='${Status}' nimbrel 2>/dev/null | grep -q "ok installed"; }
if installed && [ -e "$marker" ]; then
  apt purge nimbrel || fail "cannot purge what a killed run left: $(cat "$work/apt.log")"
fi
rm -f "$marker"
if installed || [ -e /usr/bin/nimbrel ]; then
  echo "SKIP installing: this machine has a nimbrel of its own"
  echo PASS
  exit 0
fi
touch "$marker"
trap 'apt purge nimbrel; rm -f "$marker"; cleanup' EXIT

apt install "$deb" || fail "apt install failed: $(cat "$work/apt.log")"
[ "$(/usr/bin/nimbrel --version)" = "nimbrel $version" ] || fail "installed --version: $(/usr/bin/nimbrel --version)"

# A user with a configuration of their own and an archive.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$XDG_CONFIG_HOME/nimbrel" "$XDG_DATA_HOME/nimbrel"
sed 's/^temperature = C/temperature = F/' /usr/share/doc/nimbrel/examples/nimbrel.conf \
  >"$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"
chmod 600 "$XDG_CONFIG_HOME/nimbrel/nimbrel.conf"
echo "the user's records" >"$XDG_DATA_HOME/nimbrel/archive"
cp -a "$HOME" "$work/home-before"
/usr/bin/nimbrel live --simulate >"$work/live" 2>&1 || fail "live --simulate: $(cat "$work/live")"
grep -qE "^Indoor temperature +[0-9.-]+ °F" "$work/live" || fail "live --simulate said: $(cat "$work/live")"
bash -c '. /usr/share/bash-completion/bash_completion && __load_completion nimbrel && complete -p nimbrel' >/dev/null 2>&1 ||
  fail "bash does not find the completion"

apt purge nimbrel || fail "apt purge failed: $(cat "$work/apt.log")"
rm -f "$marker"
trap cleanup EXIT
! installed || fail "nimbrel is still installed after the purge"
for file in /usr/bin/nimbrel /usr/lib/udev/rules.d/70-nimbrel.rules /usr/lib/systemd/user/nimbrel.service; do
  [ ! -e "$file" ] || fail "$file is left after the purge"
done
diff -r "$work/home-before" "$HOME" || fail "the purge changed the user's files"
echo PASS
