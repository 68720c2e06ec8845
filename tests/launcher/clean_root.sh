#!/usr/bin/env bash
# The demo's one-file installer with no one at the screen in a bare Debian
# root without X or Qt: installed unattended as root and as a user, checked,
# and started without options. In the Debian 11 root (GNU C library 2.31)
# the wizard cannot start: the launcher says so in one line and points to
# --unattended.   clean_root.sh SUITE SETUPKIT WORKDIR   (SUITE: bookworm or
# bullseye). Root only; skipped (77) where no such root can be made.
set -uo pipefail
suite=$1
setupkit=$(realpath "$2")
work=$3
source "$(dirname "$0")/../clean-system/lib.sh"
cs_init "$work"
root=$work/root
rm -rf "$root"
status=0
bash "$cs_repo/scripts/clean-root.sh" --suite "$suite" --copy "$root" >/dev/null || status=$?
[ "$status" -eq 77 ] && cs_skip "no bare Debian $suite root can be made here"
[ "$status" -eq 0 ] || { echo "clean-root.sh failed ($status)" >&2; exit 1; }
cs_on_exit+=("rm -rf '$root'")
cs_mount -t proc proc "$root/proc" || cs_skip "cannot mount /proc in the root"

bash "$cs_repo/scripts/make-demo-payload.sh" "$work/payload" >/dev/null
"$setupkit" medium --single-file "$root/srv/demo-setup.run" --title "Demo Office 2000" --app "Demo Office" \
  --dest 'C:\DEMO' "$work/payload" >/dev/null 2>&1 || { echo "cannot make the installer" >&2; exit 1; }
chmod 755 "$root/srv/demo-setup.run"

failures=0
fail() { echo "FAIL ($suite): $*" >&2; failures=$((failures + 1)); }
inside() { chroot "$@" </dev/null; }  # chroot [--userspec=U:G] ROOT CMD...

# As root, then as a user without a home of its own (nobody).
inside "$root" /srv/demo-setup.run --unattended --dest /opt/demo || fail "as root: status $?"
# The payload's files, and beside them the install record and the uninstaller.
installed() { find "$1" -type f ! -name .install-record.json ! -path "$1/uninstall" | wc -l; }
[ "$(installed "$root/opt/demo")" -eq "$(find "$work/payload" -type f | wc -l)" ] ||
  fail "as root: $(installed "$root/opt/demo") files installed"
[ -f "$root/opt/demo/.install-record.json" ] && [ -x "$root/opt/demo/uninstall" ] || fail "as root: no record or uninstaller"
# Removed again by its own uninstaller, in the bare root: everything, the
# payload's link and empty folder too, and the destination it made.
inside "$root" /opt/demo/uninstall --unattended >/dev/null || fail "the uninstaller: status $?"
[ ! -e "$root/opt/demo" ] || fail "the uninstaller left $(find "$root/opt/demo" | head -3 | tr '\n' ' ')"
mkdir -p "$root/tmp/user" && chown nobody:nogroup "$root/tmp/user"
inside --userspec=nobody:nogroup "$root" /srv/demo-setup.run --unattended --dest /tmp/user/demo --json \
  >"$work/user.json" || fail "as a user: status $?"
tail -1 "$work/user.json" | grep -q '"status":0,"result":"completed"' || fail "as a user: $(tail -1 "$work/user.json")"
inside "$root" /srv/demo-setup.run --check >/dev/null || fail "--check: status $?"

# Without options the wizard would start: on the older C library the
# launcher refuses in one line, naming what it needs and --unattended.
if [ "$suite" = bullseye ]; then
  inside "$root" /srv/demo-setup.run 2>"$work/wizard.err"
  got=$?
  [ "$got" -eq 1 ] || fail "the wizard on 2.31: status $got"
  [ "$(wc -l <"$work/wizard.err")" -eq 1 ] && grep -q "GNU C library 2.36 or newer.*2.31.*--unattended" "$work/wizard.err" ||
    fail "the wizard on 2.31 said: $(cat "$work/wizard.err")"
fi
leftover=$(find "$root/tmp" "$root/root" -name 'setup-run-*' 2>/dev/null | head -1)
[ -z "$leftover" ] || fail "a private folder was left: $leftover"
[ "$failures" -eq 0 ] && echo "$suite: all cases passed"
exit $((failures > 0))
