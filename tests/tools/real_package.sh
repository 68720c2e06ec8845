#!/usr/bin/env bash
# A real application through the real programs: Debian's hello package
# (its hello.mo files share a name in many folders) with a link, an empty
# folder, an executable script and a 0600 file added, made into a medium by
# setupkit and installed by `setupkit restore` (folder medium and one-file
# installer) and by the wizard (app_tests, offscreen).
#   real_package.sh SETUPKIT APP_TESTS
# The package is downloaded once into ${SETUPKIT_TEST_CACHE:-~/.cache/setupkit-test};
# without it and without a network the test is skipped (status 77).
set -euo pipefail
setupkit=$1
app_tests=${2:-}
cache=${SETUPKIT_TEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/setupkit-test}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The first of the cached packages, in the order of their names.
first_deb() {
  local debs=("$cache"/hello_*.deb)
  if [ -e "${debs[0]}" ]; then echo "${debs[0]}"; fi
}
deb=$(first_deb)
if [ -z "$deb" ]; then
  mkdir -p "$cache" "$work/download"
  chmod 0777 "$work/download"  # apt's download user writes there
  if ! (cd "$work/download" && apt-get download hello >/dev/null 2>&1); then
    echo "hello cannot be downloaded: skipped"
    exit 77
  fi
  mv "$work"/download/hello_*.deb "$cache"/
  deb=$(first_deb)
fi

fail() { echo "FAIL: $*" >&2; exit 1; }
tree=$work/tree
dpkg-deb -x "$deb" "$tree"
ln -s hello "$tree/usr/bin/hi"
mkdir -p "$tree/var/lib/hello-empty"
# shellcheck disable=SC2016  # $0 and $@ belong to the wrapper written here
printf '#!/bin/sh\nexec "$(dirname "$0")/hello" "$@"\n' >"$tree/usr/bin/hello-wrap"
chmod 0755 "$tree/usr/bin/hello-wrap"
echo "greeting=hi" >"$tree/usr/share/doc/hello/settings"
chmod 0600 "$tree/usr/share/doc/hello/settings"
[ "$(find "$tree" -name hello.mo | wc -l)" -gt 10 ] || fail "the package has fewer hello.mo files than expected"

# Checks an installed tree: the program runs from it, the link stays below
# it, the empty folder is there, the modes are the publisher's.
check_install() {
  local dest=$1 what=$2
  [ "$("$dest/usr/bin/hello" -g ok)" = ok ] || fail "$what: usr/bin/hello does not run"
  [ "$("$dest/usr/bin/hello-wrap" -g ok)" = ok ] || fail "$what: the script does not run"
  [ "$(readlink "$dest/usr/bin/hi")" = hello ] || fail "$what: the link is not kept"
  [ "$(realpath "$dest/usr/bin/hi")" = "$(realpath "$dest/usr/bin/hello")" ] || fail "$what: the link leads elsewhere"
  [ -d "$dest/var/lib/hello-empty" ] || fail "$what: the empty folder is missing"
  [ "$(stat -c %a "$dest/usr/share/doc/hello/settings")" = 600 ] || fail "$what: the 0600 file is not 0600"
  cmp -s "$dest/usr/share/locale/de/LC_MESSAGES/hello.mo" "$tree/usr/share/locale/de/LC_MESSAGES/hello.mo" ||
    fail "$what: hello.mo of de was overwritten"
}

# Under umask 077 too: the modes are the publisher's, not the umask's.
umask 077
"$setupkit" medium -o "$work/medium" --runtime system --title Hello --app Hello --dest 'C:\opt\Hello' "$tree" >/dev/null
grep -qx 'Paths=Tree' "$work/medium/SETUP.INS" || fail "the medium does not keep its tree"
grep -qx 'UserDestDir=~/Hello' "$work/medium/SETUP.INS" || fail "no per-user destination"
"$setupkit" restore "$work/medium/SETUP.BIN" "$work/dest" || fail "setupkit restore of the medium"
check_install "$work/dest" "setupkit restore"

"$setupkit" list --json "$work/medium/SETUP.BIN" | grep -q '"kind":"link","name":"C:\\\\usr\\\\bin\\\\hi","target":"hello"' ||
  fail "list --json shows no link"

# The one-file installer carries the attributes in its own part.
if "$setupkit" medium --single-file "$work/hello-setup" --runtime system --title Hello --app Hello --dest 'C:\opt\Hello' "$tree" \
    >/dev/null 2>"$work/single.err"; then
  "$setupkit" restore "$work/hello-setup" "$work/dest-one" || fail "setupkit restore of the one-file installer"
  check_install "$work/dest-one" "one-file installer"
elif ! grep -q "needs the setup program\|launcher" "$work/single.err"; then
  cat "$work/single.err" >&2
  fail "the one-file installer was not made"
fi

# A flat medium of names that clash is refused, naming them.
status=0
"$setupkit" medium -o "$work/flat" --flat --runtime system --title H --app H --dest 'C:\H' "$tree" \
  >/dev/null 2>"$work/flat.err" || status=$?
[ $status = 5 ] || fail "--flat with clashing names: status $status, not 5"
grep -q 'hello.mo' "$work/flat.err" || fail "--flat does not name the clashing files"
[ ! -e "$work/flat/SETUP.BIN" ] || fail "--flat wrote an archive"

# A byte flipped in a stored chunk: that file is not installed, and the
# status says damage.
"$setupkit" medium -o "$work/stored" --level 0 --runtime system --title H --app H --dest 'C:\H' "$tree" >/dev/null
python3 - "$tree/usr/bin/hello" "$work/stored/SETUP.BIN" <<'PY'
import sys
needle = open(sys.argv[1], 'rb').read()[5000:5064]
data = bytearray(open(sys.argv[2], 'rb').read())
at = data.find(needle)
assert at > 0
data[at + 10] ^= 0xFF
open(sys.argv[2], 'wb').write(data)
PY
mkdir -p "$work/damaged/usr/bin"
echo "old version" >"$work/damaged/usr/bin/hello"
status=0
"$setupkit" restore "$work/stored/SETUP.BIN" "$work/damaged" 2>"$work/damage.err" || status=$?
[ $status = 2 ] || fail "a flipped byte: status $status, not 2 (damage)"
[ "$(cat "$work/damaged/usr/bin/hello")" = "old version" ] || fail "the damaged file replaced the old version"
grep -q "SHA-256" "$work/damage.err" || fail "the damage is not named"

if [ -n "$app_tests" ]; then
  umask 022
  SETUPKIT_REAL_TREE=$tree QT_QPA_PLATFORM=offscreen "$app_tests" --gtest_filter='RealPackage.*' --gtest_brief=1 ||
    fail "the wizard's installation"
fi
echo "real package: installed and checked"
