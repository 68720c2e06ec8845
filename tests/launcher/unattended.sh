#!/usr/bin/env bash
# The medium's setup and the one-file installer with options, run as a user
# would run them: a one-file installer installed, installed again with a
# mode, checked and listed; a damaged one refused; volumes found with
# --media, and a missing one ending the installation with standard input
# closed; bad command lines. One case a run (case_runner.sh):
#   unattended.sh SETUPKIT WORKDIR media|CASE
# shellcheck disable=SC2317  # the case functions are called by name, from run_step
source "$(dirname "$0")/case_runner.sh"

# A one-file installer and a folder medium in volumes of 150K, of a payload
# with a folder, a program and a link to it.
make_media() {
  mkdir -p src/docs
  echo "read me" >src/readme.txt
  printf 'guide\n' >src/docs/guide.txt
  head -c 400000 /dev/urandom >src/data.bin
  # A program with its execute bit, and a link to it: the attributes beside the
  # archive are applied as the wizard applies them.
  mkdir -p src/bin && printf '#!/bin/sh\necho runs\n' >src/bin/tool && chmod 755 src/bin/tool && ln -s bin/tool src/tool
  medium() { "$setupkit" medium --title "Test Suite" --app "Test App" --dest 'C:\TESTAPP' "$@" src >/dev/null 2>&1; }
  medium --single-file one.run || { echo "cannot make the one-file installer" >&2; return 1; }
  medium -o folder --volume-size 150K || { echo "cannot make the folder medium" >&2; return 1; }
}

# Command lines that do not fit: status 64, nothing written.
refused() {  # refused NAME ARGS...
  local name=$1
  shift
  expect 64 "$name" "$media/one.run" "$@"
  [ -e d ] && fail "a refused command line wrote d"
}
# Without --dest the installation goes where this product is installed, else
# DestDir (tests/tools/installed_versions_test.cpp); --allow-downgrade alone
# is still no command line.
case_allow_downgrade_without_unattended_exits_64() { refused "--allow-downgrade without --unattended" --check --allow-downgrade; }
case_unknown_option_exits_64() { refused "unknown option" --unattneded --dest d; }
case_extra_operand_exits_64() { refused "an operand" --unattended --dest d extra; }
case_check_with_unattended_exits_64() { refused "--check and --unattended" --check --unattended --dest d; }
case_unknown_mode_exits_64() { refused "unknown mode" --unattended --dest d --mode sometimes; }

# The one-file installer, unattended: the files, the JSON lines.
case_one_file_installs_tree_record_and_json_lines() {
  expect 0 "install" "$media/one.run" --unattended --dest "$PWD/inst" --json </dev/null
  # The payload has a folder, so the medium keeps the tree (Paths=Tree).
  for f in readme.txt docs/guide.txt data.bin; do cmp -s "$media/src/$f" "inst/$f" || fail "inst/$f differs"; done
  { [ -L inst/tool ] && [ "$(inst/tool)" = runs ]; } || fail "the link to the program does not run it"
  # The install record and the uninstaller the packed runtime carries.
  { [ -f inst/.install-record.json ] && [ -x inst/uninstall ]; } || fail "no install record or uninstaller in the destination"
  head -1 out | grep -q '"event":"start","title":"Test Suite","app":"Test App"' || fail "start line: $(head -1 out)"
  [ "$(grep -c '"event":"file".*"action":"written"' out)" -eq 4 ] || fail "four written files expected"
  tail -1 out | grep -q '"event":"end","status":0,"result":"completed","written":4,"skipped":0,"bytes":400034' ||
    fail "end line: $(tail -1 out)"
}

# A second run over an installation with --mode no-overwrite writes nothing.
case_second_run_with_no_overwrite_skips_every_file() {
  expect 0 "install" "$media/one.run" --unattended --dest "$PWD/inst" --json </dev/null
  expect 0 "second run" "$media/one.run" --unattended --dest "$PWD/inst" --mode no-overwrite --json
  tail -1 out | grep -q '"written":0,"skipped":4' || fail "second run's end line: $(tail -1 out)"
}

case_windows_form_destination_installs() {
  expect 0 "Windows-form destination" "$media/one.run" --unattended --dest "C:${PWD//\//\\}\\win"
  [ -f win/readme.txt ] || fail "the Windows-form destination got no files"
}

case_check_of_sound_installer_exits_0() { expect 0 "check" "$media/one.run" --check; }

case_list_names_each_file_below_dest() {
  expect 0 "list" "$media/one.run" --list --dest "$PWD/inst"
  grep -qx "$PWD/inst/data.bin" out || fail "list: $(cat out)"
}

# A damaged installer: status 2 before anything is written or unpacked.
case_damaged_installer_exits_2_writing_nothing() {
  cp "$media/one.run" bad.run
  # One byte in the middle changed (to another value, whatever it was).
  local middle byte
  middle=$(( $(stat -c %s bad.run) / 2 ))
  byte=$(od -An -tu1 -j "$middle" -N1 bad.run | tr -d ' ')
  # shellcheck disable=SC2059  # the format is the escape of the new byte
  printf "\\$(printf %03o $(( (byte + 1) % 256 )))" | dd of=bad.run bs=1 seek="$middle" conv=notrunc status=none
  cmp -s "$media/one.run" bad.run && fail "the damaged copy is the same as the installer"
  expect 2 "damaged installer" ./bad.run --unattended --dest "$PWD/bad"
  [ -e bad ] && fail "the damaged installer wrote its destination"
  grep -q "damaged" err || fail "damaged installer: $(cat err)"
}

# Volumes elsewhere: the folder medium copied here with its second volume
# moved to disk2/.
volumes_apart() {
  cp -r "$media/folder" folder
  mkdir disk2 && mv folder/SETUP.0* disk2/
}

case_volumes_in_media_folder_install() {
  volumes_apart
  expect 0 "volumes in --media" folder/setup --unattended --dest "$PWD/multi" --media "$PWD/disk2" <&-
  cmp -s "$media/src/data.bin" multi/data.bin || fail "data.bin from two volumes differs"
  # A folder medium's uninstaller comes from the runtime.pak beside its first volume.
  [ -x multi/uninstall ] || fail "the folder medium placed no uninstaller"
}

# Missing, the installation ends at once with standard input closed, naming
# the volume and where it looked.
case_missing_volume_exits_4_naming_it() {
  volumes_apart
  expect 4 "missing volume" folder/setup --unattended --dest "$PWD/missing" <&-
  { grep -q "volume 2 (SETUP.002) is missing" err && grep -q "$PWD/folder/SETUP.002" err; } ||
    fail "missing volume message: $(cat err)"
}

case_check_with_volume_missing_exits_4() {
  volumes_apart
  expect 4 "check with a volume missing" folder/setup --check <&-
}

case_setupkit_verify_finds_volumes_in_media_folder() {
  volumes_apart
  expect 0 "setupkit verify of the folder with --media" "$setupkit" verify folder --media disk2
}

run_step
