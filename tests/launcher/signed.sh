#!/usr/bin/env bash
# Signed media through the real programs: keys made by setupkit (and by
# minisign where it is installed), a one-file installer and a folder medium
# signed and checked by hand; one byte changed in each part and refused with
# nothing written; the publisher pinned by the first installation; the
# administrator's trusted keys (as root, in a mount namespace of its own,
# where /etc is a scratch folder). One case a run (case_runner.sh):
#   signed.sh SETUPKIT WORKDIR media|CASE
# shellcheck disable=SC2317  # the case functions are called by name, from run_step
source "$(dirname "$0")/case_runner.sh"

have_minisign() { command -v minisign >/dev/null; }

# Two key pairs made by setupkit (and one by minisign where it is installed);
# a one-file installer signed with a comment, a folder medium signed with
# the minisign key (or the second one; its public key is folder.pub), the
# same installer unsigned and signed by the second key; the offset of a byte
# inside each part of the signed installer, a line per part in `parts`.
make_media() {
  mkdir -p src
  echo "read me" >src/readme.txt
  head -c 300000 /dev/urandom >src/data.bin
  medium() { "$setupkit" medium --title "Signed Suite" --app "Signed App" --dest /opt/signed "$@" src >/dev/null; }

  expect 0 "key new" "$setupkit" key new --public pub.key --secret sec.key --no-password
  expect 0 "second key" "$setupkit" key new --public other.pub --secret other.key --no-password
  local folder_key=other.key folder_pub=other.pub
  if have_minisign; then
    # A key made by minisign signs with setupkit.
    minisign -G -W -p mini.pub -s mini.key >/dev/null 2>&1 || fail "minisign -G"
    folder_key=mini.key folder_pub=mini.pub
  fi
  cp "$folder_pub" folder.pub
  medium --single-file one.run --sign sec.key --sign-comment "Signed Suite 1.0 by the test" ||
    { echo "cannot sign" >&2; return 1; }
  medium -o folder --sign "$folder_key" || { echo "cannot sign a folder" >&2; return 1; }
  medium --single-file plain.run || return 1
  medium --single-file other.run --sign other.key || return 1

  python3 - one.run <<'EOF' >parts || fail "cannot read the parts"
import struct, sys
data = open(sys.argv[1], 'rb').read()
count = struct.unpack('<I', data[-28:-24])[0]
sizes = struct.unpack('<%dQ' % count, data[-28 - 8 * count:-28])
at = 0
for name, size in zip(['launcher', 'ins', 'runtime', 'archive', 'attributes'], sizes):
    # The launcher's last byte lies in its section headers, which running it never reads.
    print(name, at + (size - 1 if name == 'launcher' else size // 2))
    at += size
EOF
  [ "$failures" -eq 0 ]
}

case_key_new_over_existing_key_exits_1() {
  cp "$media/sec.key" sec.key
  expect 1 "key new over an existing key" "$setupkit" key new --public x.pub --secret sec.key --no-password
}

# Checked from outside: by setupkit verify --key, and by hand.
case_verify_one_file_with_its_key_exits_0() { expect 0 "verify one file" "$setupkit" verify --key "$media/pub.key" "$media/one.run"; }
case_verify_folder_with_its_key_exits_0() { expect 0 "verify folder" "$setupkit" verify --key "$media/folder.pub" "$media/folder"; }
case_verify_with_another_key_exits_5() {
  expect 5 "verify with another key" "$setupkit" verify --key "$media/other.pub" "$media/one.run"
  grep -q "not by key" err || fail "another key: $(cat err)"
}
case_verify_unsigned_exits_5() { expect 5 "verify unsigned" "$setupkit" verify --key "$media/pub.key" "$media/plain.run"; }
case_minisign_verifies_one_file() {
  have_minisign || skip "minisign is not installed"
  expect 0 "minisign -V one file" minisign -V -p "$media/pub.key" -m "$media/one.run"
}
case_folder_checks_by_hand_with_minisign_and_sha256sum() {
  have_minisign || skip "minisign is not installed"
  (cd "$media/folder" && minisign -V -q -p ../folder.pub -m SETUP.SUM && sha256sum -c --quiet SETUP.SUM) ||
    fail "the folder medium does not check by hand"
}

# Who signed it, where a person or a script sees it.
case_check_names_signer_and_comment() {
  expect 0 "check" "$media/one.run" --check
  grep -q "signed by key .*, comment \"Signed Suite 1.0 by the test\"" out || fail "check: $(cat out)"
}
case_json_start_event_names_signer() {
  expect 0 "install" "$media/one.run" --unattended --dest "$PWD/inst" --json
  head -1 out | grep -q '"signer":{"key":"[0-9A-F]\{16\}","comment":"Signed Suite 1.0 by the test"' ||
    fail "start event: $(head -1 out)"
}
case_check_of_unsigned_says_unsigned() {
  expect 0 "unsigned check" "$media/plain.run" --check
  grep -q ": unsigned" out || fail "unsigned check: $(cat out)"
}

# One byte changed in a part, the installer's checksum made to match again:
# only the signature tells, and names the part. Nothing is written.
changed() {  # changed FILE OFFSET: flips the byte and fixes the checksum
  python3 - "$1" "$2" <<'EOF'
import struct, sys, zlib
path, at = sys.argv[1], int(sys.argv[2])
data = bytearray(open(path, 'rb').read())
data[at] ^= 0x20
count = struct.unpack('<I', data[-28:-24])[0]
trailer = 28 + 8 * count
data[-24:-20] = struct.pack('<I', zlib.crc32(bytes(data[:-trailer])) & 0xffffffff)
open(path, 'wb').write(data)
EOF
}
# bad.run: the signed installer with a byte of PART changed.
changed_part() {
  cp "$media/one.run" bad.run
  changed bad.run "$(awk -v part="$1" '$1 == part {print $2}' "$media/parts")"
}
refused_part() {  # refused_part PART
  local part=$1
  changed_part "$part"
  expect 2 "changed $part" ./bad.run --unattended --dest "$PWD/bad-$part"
  grep -q "was changed after it was signed" err || fail "changed $part: $(cat err)"
  [ -e "bad-$part" ] && fail "changed $part: the destination was written"
}
case_changed_launcher_exits_2_writing_nothing() { refused_part launcher; }
case_changed_setup_ins_exits_2_writing_nothing() { refused_part ins; }
case_changed_runtime_exits_2_writing_nothing() { refused_part runtime; }
case_changed_archive_exits_2_writing_nothing() { refused_part archive; }
case_changed_attributes_exits_2_writing_nothing() { refused_part attributes; }
# Without options (the wizard), refused before a private folder is made.
case_changed_attributes_refused_before_wizard_with_2() {
  changed_part attributes
  expect 2 "changed attributes, wizard" ./bad.run
}
case_changed_setup_ins_check_exits_2_naming_it() {
  changed_part ins
  expect 2 "changed SETUP.INS, check" ./bad.run --check
  grep -q "SETUP.INS was changed" err || fail "SETUP.INS not named: $(cat err)"
}

# The folder medium: a changed file and an added volume are named.
case_folder_changed_archive_exits_2_naming_it() {
  cp -r "$media/folder" f2 && printf 'X' | dd of=f2/SETUP.BIN bs=1 seek=100 conv=notrunc status=none
  expect 2 "changed folder archive" f2/setup --unattended --dest "$PWD/f2dest"
  grep -q "SETUP.BIN was changed" err || fail "folder archive: $(cat err)"
  [ -e f2dest ] && fail "the changed folder medium wrote its destination"
}
case_folder_added_volume_exits_2_naming_it() {
  cp -r "$media/folder" f2 && cp f2/SETUP.BIN f2/SETUP.002
  expect 2 "added volume" f2/setup --check
  grep -q "SETUP.002 is not among the files signed" err || fail "added volume: $(cat err)"
}

# The publisher pinned by the first installation: another key, or none, is
# refused with nothing written unless the person says so.
pinned() {
  expect 0 "first install pins" "$media/one.run" --unattended --dest "$PWD/pinned"
  rm -f pinned/readme.txt
}
case_pinned_publisher_refuses_another_key_with_5() {
  pinned
  expect 5 "another publisher" "$media/other.run" --unattended --dest "$PWD/pinned"
  grep -q "was installed from a medium signed by key .*; this medium is signed by another key" err ||
    fail "another publisher: $(cat err)"
  [ -e pinned/readme.txt ] && fail "a refused publisher wrote into the destination"
}
case_pinned_publisher_refuses_unsigned_with_5() {
  pinned
  expect 5 "unsigned over a pinned one" "$media/plain.run" --unattended --dest "$PWD/pinned"
  [ -e pinned/readme.txt ] && fail "a refused publisher wrote into the destination"
}
case_accepted_new_publisher_then_pinned_instead() {
  pinned
  expect 0 "another publisher accepted" "$media/other.run" --unattended --dest "$PWD/pinned" --accept-new-publisher
  expect 5 "the first publisher, now another" "$media/one.run" --unattended --dest "$PWD/pinned"
}

# The administrator's keys. /etc is a scratch folder in a mount namespace of
# this test's own; the programs run there are static and read nothing else of it.
needs_namespaces() {
  { [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; } ||
    skip "the administrator's keys need root and mount namespaces"
}
trusted() {  # trusted KEYFILE COMMAND...: runs with only KEYFILE trusted
  local key=$1
  shift
  # shellcheck disable=SC2016  # expanded by the inner shell
  unshare -m bash -c 'mount -t tmpfs none /etc && mkdir -p /etc/setupkit/trusted-keys &&
    cp "$0" /etc/setupkit/trusted-keys/publisher.pub && exec "$@"' "$media/$key" "$@"
}
case_trusted_key_check_says_trusted() {
  needs_namespaces
  expect 0 "trusted key" trusted pub.key "$media/one.run" --check
  grep -q "trusted by this system" out || fail "trusted: $(cat out)"
}
case_trusted_keys_refuse_unsigned_with_5() {
  needs_namespaces
  expect 5 "unsigned with trusted keys" trusted pub.key "$media/plain.run" --unattended --dest "$PWD/t1"
  grep -q "unsigned, and this system runs only media signed by a key in /etc/setupkit/trusted-keys" err ||
    fail "unsigned refused: $(cat err)"
  [ -e t1 ] && fail "a refused medium wrote its destination"
}
case_trusted_keys_refuse_another_key_with_5() {
  needs_namespaces
  expect 5 "another key with trusted keys" trusted other.pub "$media/one.run" --unattended --dest "$PWD/t2"
  grep -q "not among the keys this system trusts" err || fail "another key: $(cat err)"
  [ -e t2 ] && fail "a refused medium wrote its destination"
}

run_step
