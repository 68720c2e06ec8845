#!/usr/bin/env bash
# The installation as a transaction, through the real launcher, setupkit
# restore --record and the uninstaller: too little space refused before the
# first byte; a failure (damage in volume 2, a missing volume) and a kill
# leave DEST as it was, to the byte, the user's file in the way included; an
# update removes what the new version dropped and keeps what the user
# changed; the user's own file is back after the uninstall. One case a run
# (case_runner.sh):
#   transaction.sh SETUPKIT WORKDIR media|CASE
# shellcheck disable=SC2317  # the case functions are called by name, from run_step
source "$(dirname "$0")/case_runner.sh"

make_media() {
  # A flat payload in volumes of 150K: readme.txt, VERSION and data.bin
  # (random, so volume 2 holds its bytes as they are).
  mkdir -p src
  echo "read me" >src/readme.txt
  echo "2.0" >src/VERSION
  head -c 400000 /dev/urandom >src/data.bin
  medium() { "$setupkit" medium --title "Tx" --app "Tx App" --dest 'C:\TX' "$@" >/dev/null 2>&1; }
  medium -o folder --volume-size 150K src || return 1
  # Two versions of a product: 2 drops two files and replaces one.
  mkdir -p v1 v2
  for f in kept.txt dropped.txt edited-dropped.txt edited-replaced.txt; do echo "v1 $f" >"v1/$f"; done
  echo "v2 kept" >v2/kept.txt
  echo "v2 replaced" >v2/edited-replaced.txt
  echo "v2 new" >v2/new.txt
  medium --single-file v1.run v1 || return 1
  medium --single-file v2.run v2 || return 1
  # Larger than the small file system of the space case.
  mkdir big && head -c 3000000 /dev/urandom >big/big.bin
  medium --single-file big.run big
}

# The tree under $1: each entry's path, type, mode, size and link text, and
# each file's SHA-256.
snapshot() {
  (cd "$1" && find . -printf '%p %y %m %s %l\n' | sort && find . -type f -print0 | sort -z | xargs -0 -r sha256sum)
}

# DEST with the user's own files, one of them in the way of the medium's.
users_dest() {
  mkdir -p inst/doc
  echo "the user's version" >inst/VERSION
  echo "the user's notes" >inst/doc/README
  snapshot inst >before
}

same_as_before() {  # same_as_before WHAT
  snapshot inst >after
  cmp -s before after || { fail "$1: DEST is not as it was"; diff before after >&2; }
  # The journal of this DEST, named like its record by the SHA-256 of its path.
  local name journal
  name=$(printf '%s' "$(realpath inst)" | sha256sum | cut -c1-32).journal
  journal=$(find home /var/lib/setupkit/installs -name "$name" 2>/dev/null | head -1)
  [ -z "$journal" ] || fail "$1: a journal was left: $journal"
}

case_too_little_space_is_refused_writing_nothing() {
  [ "$(id -u)" -eq 0 ] || skip "mounting a small file system needs root"
  mkdir small
  mount -t tmpfs -o size=1m tmpfs small 2>/dev/null || skip "cannot mount a tmpfs here"
  expect 1 "install" "$media/big.run" --unattended --dest "$PWD/small/inst" --json </dev/null
  tail -1 out | grep -q '"result":"failed".*"reason":"there is not enough space in .*needs [0-9.]* MB.*has 1\.0 MB' ||
    fail "end line: $(tail -1 out)"
  [ -z "$(ls -A small)" ] || fail "something was written: $(ls -A small)"
  expect 1 "restore --record" "$setupkit" restore --record "$media/big.run" "$PWD/small/inst"
  grep -q 'not enough space' err || fail "restore --record did not say why: $(cat err)"
  [ -z "$(ls -A small)" ] || fail "restore --record wrote: $(ls -A small)"
  umount small
}

case_damage_in_volume_2_leaves_dest_as_it_was() {
  cp -r "$media/folder" medium
  # Bytes of data.bin in the middle of volume 2.
  local size
  size=$(stat -c %s medium/SETUP.002)
  printf 'XXXXXXXX' | dd of=medium/SETUP.002 bs=1 seek=$((size / 2)) conv=notrunc 2>/dev/null
  users_dest
  expect 2 "install" medium/setup --unattended --dest "$PWD/inst" --json </dev/null
  tail -1 out | grep -q '"rolled_back":true' || fail "end line: $(tail -1 out)"
  same_as_before "damage in volume 2"
  expect 2 "restore --record" "$setupkit" restore --record medium/SETUP.BIN "$PWD/inst"
  same_as_before "damage in volume 2, restore --record"
}

case_missing_volume_leaves_dest_as_it_was() {
  cp -r "$media/folder" medium
  rm medium/SETUP.002
  users_dest
  expect 4 "install" medium/setup --unattended --dest "$PWD/inst" --json </dev/null
  tail -1 out | grep -q '"result":"cancelled".*"rolled_back":true' || fail "end line: $(tail -1 out)"
  same_as_before "missing volume"
}

# Starts the unattended install into inst (volume 2 never comes) and kills it
# outright once the named files are there, or after about 10 s.
install_then_kill() {
  medium/setup --unattended --dest "$PWD/inst" </dev/null >out 2>err &
  local pid=$! waited=0 file
  for file in "$@"; do
    until [ -e "inst/$file" ] || [ "$waited" -ge 200 ]; do
      sleep 0.05
      waited=$((waited + 1))
    done
  done
  sleep 0.3
  kill -KILL "$pid"
  wait "$pid" 2>/dev/null
}

case_killed_installation_is_undone_by_the_next_run() {
  cp -r "$media/folder" medium
  # Volume 2 is a pipe nobody writes: the launcher waits there, with the
  # first volume's files written, until it is killed.
  rm medium/SETUP.002
  mkfifo medium/SETUP.002
  users_dest
  install_then_kill data.bin uninstall
  [ -e inst/data.bin ] || fail "the installation was not under way when it was killed"
  # The next run: the uninstaller undoes it, then finds nothing installed.
  expect 3 "uninstall after the kill" "$setupkit" uninstall --unattended "$PWD/inst"
  same_as_before "killed, then the uninstaller"
  # Killed again, the launcher undoes it before it installs (and fails at
  # the missing volume, undoing that too).
  install_then_kill data.bin
  rm medium/SETUP.002
  expect 4 "the launcher after the kill" medium/setup --unattended --dest "$PWD/inst" </dev/null
  grep -q 'did not end was undone' err || fail "the launcher did not say it undid the earlier one: $(cat err)"
  same_as_before "killed, then the launcher"
}

case_update_removes_what_was_dropped_and_keeps_what_the_user_changed() {
  expect 0 "version 1" "$media/v1.run" --unattended --dest "$PWD/inst" </dev/null
  echo "mine" >>inst/edited-dropped.txt
  echo "mine" >>inst/edited-replaced.txt
  expect 0 "version 2" "$media/v2.run" --unattended --dest "$PWD/inst" --json </dev/null
  [ ! -e inst/dropped.txt ] || fail "a dropped file as installed stayed"
  grep -q mine inst/edited-dropped.txt || fail "the dropped file the user changed is gone"
  grep -q '"event":"kept","name":"edited-dropped.txt"' out || fail "the kept dropped file is not named: $(cat out)"
  [ "$(cat inst/edited-replaced.txt)" = "v2 replaced" ] || fail "the replaced file is not version 2's"
  grep -q mine inst/edited-replaced.txt.user-changed || fail "the user's replaced file was not kept beside it"
  grep -q '"event":"kept","name":"edited-replaced.txt.user-changed"' out || fail "the kept copy is not named: $(cat out)"
  grep -q '"dropped.txt"' inst/.install-record.json && fail "the record still lists the dropped file"
  expect 0 "uninstall" "$setupkit" uninstall --unattended --json "$PWD/inst"
  grep -q '"event":"kept","kind":"file","name":"edited-replaced.txt.user-changed"' out ||
    fail "the uninstaller does not name the kept copy: $(cat out)"
  [ "$(cd inst && find . -type f | sort | tr '\n' ' ')" = "./edited-dropped.txt ./edited-replaced.txt.user-changed " ] ||
    fail "left after the uninstall: $(cd inst && find . | sort | tr '\n' ' ')"
}

case_users_own_file_is_back_after_the_uninstall() {
  users_dest
  expect 0 "install" "$setupkit" restore --record "$media/folder/SETUP.BIN" "$PWD/inst"
  [ "$(cat inst/VERSION)" = "2.0" ] || fail "VERSION is not the medium's"
  grep -q 'kept VERSION' err || fail "restore --record did not name the user's VERSION: $(cat err)"
  expect 0 "uninstall" "$setupkit" uninstall --unattended --json "$PWD/inst"
  grep -q '"event":"kept","kind":"file","name":"VERSION"' out || fail "the uninstaller does not name it: $(cat out)"
  same_as_before "installed, then uninstalled"
}

run_step
