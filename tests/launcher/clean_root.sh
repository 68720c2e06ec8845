#!/usr/bin/env bash
# The demo's one-file installer with no one at the screen in a bare Debian
# root without X or Qt: installed unattended as root and as a user, checked,
# removed by its uninstaller, and started without options. In the Debian 11
# root (GNU C library 2.31) the wizard cannot start: the launcher says so in
# one line and points to --unattended. Root only; skipped (77) where no such
# root can be made. One step a run:
#   clean_root.sh SUITE SETUPKIT WORKDIR root|remove|CASE
# (SUITE: bookworm or bullseye). The step `root` copies the bare root and
# puts the installer into it, once; each case runs against that root (one at
# a time: they mount /proc into it); `remove` deletes it. A case named
# case_SUITE_... runs in that suite's root only.
# shellcheck disable=SC2317  # the case functions are called by name, below
set -uo pipefail
suite=$1
setupkit=$(realpath "$2")
work=$3
step=$4
source "$(dirname "$0")/../clean-system/lib.sh"
cs_init "$work"
root=$work/root
installer=/srv/demo-setup.run

failures=0
fail() { echo "FAIL ($suite): $*" >&2; failures=$((failures + 1)); }
inside() { chroot "$@" </dev/null; }  # chroot [--userspec=U:G] ROOT CMD...

make_root() {
  rm -rf "$root"
  local status=0
  bash "$cs_repo/scripts/clean-root.sh" --suite "$suite" --copy "$root" >/dev/null || status=$?
  if [ "$status" -eq 77 ]; then
    rm -rf "$root"
    cs_skip "no bare Debian $suite root can be made here"
  fi
  [ "$status" -eq 0 ] || { echo "clean-root.sh failed ($status)" >&2; rm -rf "$root"; exit 1; }
  rm -rf "$work/payload"
  bash "$cs_repo/scripts/make-demo-payload.sh" "$work/payload" >/dev/null
  "$setupkit" medium --single-file "$root$installer" --title "Demo Office 2000" --app "Demo Office" \
    --dest 'C:\DEMO' "$work/payload" >/dev/null 2>&1 || { echo "cannot make the installer" >&2; rm -rf "$root"; exit 1; }
  chmod 755 "$root$installer"
}

# The payload's files, and beside them the install record and the uninstaller.
installed() { find "$1" -type f ! -name .install-record.json ! -path "$1/uninstall" | wc -l; }

case_installs_as_root_with_record_and_uninstaller() {
  rm -rf "$root/opt/demo"
  inside "$root" "$installer" --unattended --dest /opt/demo || fail "as root: status $?"
  [ "$(installed "$root/opt/demo")" -eq "$(find "$work/payload" -type f | wc -l)" ] ||
    fail "as root: $(installed "$root/opt/demo") files installed"
  { [ -f "$root/opt/demo/.install-record.json" ] && [ -x "$root/opt/demo/uninstall" ]; } ||
    fail "as root: no record or uninstaller"
}

# Removed again by its own uninstaller, in the bare root: everything, the
# payload's link and empty folder too, and the destination it made.
case_uninstaller_removes_everything_it_installed() {
  rm -rf "$root/opt/demo-removed"
  inside "$root" "$installer" --unattended --dest /opt/demo-removed || fail "as root: status $?"
  inside "$root" /opt/demo-removed/uninstall --unattended >/dev/null || fail "the uninstaller: status $?"
  [ ! -e "$root/opt/demo-removed" ] ||
    fail "the uninstaller left $(find "$root/opt/demo-removed" | head -3 | tr '\n' ' ')"
}

# As a user without a home of its own (nobody).
case_installs_as_user_without_home() {
  rm -rf "$root/tmp/user"
  mkdir -p "$root/tmp/user" && chown nobody:nogroup "$root/tmp/user"
  inside --userspec=nobody:nogroup "$root" "$installer" --unattended --dest /tmp/user/demo --json \
    >"$case_dir/user.json" || fail "as a user: status $?"
  tail -1 "$case_dir/user.json" | grep -q '"status":0,"result":"completed"' ||
    fail "as a user: $(tail -1 "$case_dir/user.json")"
}

case_check_exits_0() { inside "$root" "$installer" --check >/dev/null || fail "--check: status $?"; }

# Without options the wizard would start: on the older C library the
# launcher refuses in one line, naming what it needs and --unattended.
case_bullseye_wizard_refuses_in_one_line_naming_unattended() {
  inside "$root" "$installer" 2>"$case_dir/wizard.err"
  local got=$?
  [ "$got" -eq 1 ] || fail "the wizard on 2.31: status $got"
  { [ "$(wc -l <"$case_dir/wizard.err")" -eq 1 ] &&
    grep -q "GNU C library 2.36 or newer.*2.31.*--unattended" "$case_dir/wizard.err"; } ||
    fail "the wizard on 2.31 said: $(cat "$case_dir/wizard.err")"
}

case $step in
  root)
    make_root
    echo "$suite: root ready"
    exit 0 ;;
  remove)
    rm -rf "$root" "$work/payload"
    exit 0 ;;
esac
declare -F "case_$step" >/dev/null || { echo "no case named $step" >&2; exit 64; }
[ -x "$root$installer" ] || cs_skip "no bare Debian $suite root here (made by the step 'root')"
case_dir=$work/$step
rm -rf "$case_dir" && mkdir -p "$case_dir"
cs_mount -t proc proc "$root/proc" || cs_skip "cannot mount /proc in the root"
"case_$step"
leftover=$(find "$root/tmp" "$root/root" -name 'setup-run-*' 2>/dev/null | head -1)
[ -z "$leftover" ] || fail "a private folder was left: $leftover"
[ "$failures" -eq 0 ] && echo "$suite $step: passed"
exit $((failures > 0))
