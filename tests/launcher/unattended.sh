#!/usr/bin/env bash
# The medium's setup and the one-file installer with options, run as a user
# would run them: a one-file installer installed, installed again with a
# mode, checked and listed; a damaged one refused; volumes found with
# --media, and a missing one ending the installation with standard input
# closed; bad command lines.
#   unattended.sh SETUPKIT WORKDIR
set -uo pipefail
setupkit=$(realpath "$1")
work=$2
rm -rf "$work"
mkdir -p "$work/src/docs" "$work/tmp" "$work/home"
cd "$work"
# No private folder may appear: every place the launcher would make one is here.
export TMPDIR=$work/tmp HOME=$work/home XDG_CACHE_HOME=$work/home/.cache
unset XDG_RUNTIME_DIR DISPLAY WAYLAND_DISPLAY

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# expect STATUS NAME COMMAND...: the command's exit status, its output in out/err.
expect() {
  local want=$1 name=$2
  shift 2
  "$@" >out 2>err
  local got=$?
  [ "$got" -eq "$want" ] || { fail "$name: status $got, expected $want"; cat err >&2; }
}

echo "read me" >src/readme.txt
printf 'guide\n' >src/docs/guide.txt
head -c 400000 /dev/urandom >src/data.bin
# A program with its execute bit, and a link to it: the attributes beside the
# archive are applied as the wizard applies them.
mkdir -p src/bin && printf '#!/bin/sh\necho runs\n' >src/bin/tool && chmod 755 src/bin/tool && ln -s bin/tool src/tool
medium() { "$setupkit" medium --title "Test Suite" --app "Test App" --dest 'C:\TESTAPP' "$@" src >/dev/null 2>&1; }
medium --single-file one.run || { echo "cannot make the one-file installer" >&2; exit 1; }
medium -o folder --volume-size 150K || { echo "cannot make the folder medium" >&2; exit 1; }

# Command lines that do not fit: status 64, nothing written.
expect 64 "no --dest" ./one.run --unattended
expect 64 "unknown option" ./one.run --unattneded --dest d
expect 64 "an operand" ./one.run --unattended --dest d extra
expect 64 "--check and --unattended" ./one.run --check --unattended --dest d
expect 64 "unknown mode" ./one.run --unattended --dest d --mode sometimes
[ -e d ] && fail "a refused command line wrote d"

# The one-file installer, unattended: the files, the JSON lines, then a second
# run that writes nothing.
expect 0 "install" ./one.run --unattended --dest "$work/inst" --json </dev/null
# The payload has a folder, so the medium keeps the tree (Paths=Tree).
for f in readme.txt docs/guide.txt data.bin; do cmp -s "src/$f" "inst/$f" || fail "inst/$f differs"; done
[ -L inst/tool ] && [ "$(inst/tool)" = runs ] || fail "the link to the program does not run it"
# The install record and the uninstaller the packed runtime carries.
[ -f inst/.install-record.json ] && [ -x inst/uninstall ] || fail "no install record or uninstaller in the destination"
head -1 out | grep -q '"event":"start","title":"Test Suite","app":"Test App"' || fail "start line: $(head -1 out)"
[ "$(grep -c '"event":"file".*"action":"written"' out)" -eq 4 ] || fail "four written files expected"
tail -1 out | grep -q '"event":"end","status":0,"result":"completed","written":4,"skipped":0,"bytes":400034' ||
  fail "end line: $(tail -1 out)"
expect 0 "second run" ./one.run --unattended --dest "$work/inst" --mode no-overwrite --json
tail -1 out | grep -q '"written":0,"skipped":4' || fail "second run's end line: $(tail -1 out)"
expect 0 "Windows-form destination" ./one.run --unattended --dest "C:${work//\//\\}\\win"
[ -f win/readme.txt ] || fail "the Windows-form destination got no files"
expect 0 "check" ./one.run --check
expect 0 "list" ./one.run --list --dest "$work/inst"
grep -qx "$work/inst/data.bin" out || fail "list: $(cat out)"

# A damaged installer: status 2 before anything is written or unpacked.
cp one.run bad.run
# One byte in the middle changed (to another value, whatever it was).
middle=$(( $(stat -c %s bad.run) / 2 ))
byte=$(od -An -tu1 -j "$middle" -N1 bad.run | tr -d ' ')
printf "\\$(printf %03o $(( (byte + 1) % 256 )))" | dd of=bad.run bs=1 seek="$middle" conv=notrunc status=none
cmp -s one.run bad.run && fail "the damaged copy is the same as the installer"
expect 2 "damaged installer" ./bad.run --unattended --dest "$work/bad"
[ -e bad ] && fail "the damaged installer wrote its destination"
grep -q "damaged" err || fail "damaged installer: $(cat err)"

# Volumes elsewhere: found with --media; missing, the installation ends at once
# with standard input closed, naming the volume and where it looked.
mkdir disk2 && mv folder/SETUP.0* disk2/
expect 0 "volumes in --media" folder/setup --unattended --dest "$work/multi" --media "$work/disk2" <&-
cmp -s src/data.bin multi/data.bin || fail "data.bin from two volumes differs"
# A folder medium's uninstaller comes from the runtime.pak beside its first volume.
[ -x multi/uninstall ] || fail "the folder medium placed no uninstaller"
expect 4 "missing volume" folder/setup --unattended --dest "$work/missing" <&-
grep -q "volume 2 (SETUP.002) is missing" err && grep -q "$work/folder/SETUP.002" err ||
  fail "missing volume message: $(cat err)"
expect 4 "check with a volume missing" folder/setup --check <&-
expect 0 "setupkit verify of the folder with --media" "$setupkit" verify folder --media disk2

leftover=$(find tmp home -name 'setup-run-*' | head -1)
[ -z "$leftover" ] || fail "a private folder was left: $leftover"
[ "$failures" -eq 0 ] && echo "all cases passed"
exit $((failures > 0))
