#!/usr/bin/env bash
# Signed media through the real programs: keys made by setupkit (and by
# minisign where it is installed), a one-file installer and a folder medium
# signed and checked by hand; one byte changed in each part and refused with
# nothing written; the publisher pinned by the first installation; the
# administrator's trusted keys (as root, in a mount namespace of its own,
# where /etc is a scratch folder).
#   signed.sh SETUPKIT WORKDIR
set -uo pipefail
setupkit=$(realpath "$1")
work=$2
rm -rf "$work"
mkdir -p "$work/src" "$work/tmp" "$work/home"
cd "$work"
export TMPDIR=$work/tmp HOME=$work/home XDG_CACHE_HOME=$work/home/.cache
unset XDG_RUNTIME_DIR DISPLAY WAYLAND_DISPLAY

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect() {
  local want=$1 name=$2
  shift 2
  "$@" >out 2>err
  local got=$?
  [ "$got" -eq "$want" ] || { fail "$name: status $got, expected $want"; cat out err >&2; }
}
have_minisign() { command -v minisign >/dev/null; }

echo "read me" >src/readme.txt
head -c 300000 /dev/urandom >src/data.bin
medium() { "$setupkit" medium --title "Signed Suite" --app "Signed App" --dest /opt/signed "$@" src >/dev/null; }

expect 0 "key new" "$setupkit" key new --public pub.key --secret sec.key --no-password
expect 0 "second key" "$setupkit" key new --public other.pub --secret other.key --no-password
expect 1 "key new over an existing key" "$setupkit" key new --public x.pub --secret sec.key --no-password
folder_key=other.key folder_pub=other.pub
if have_minisign; then
  # A key made by minisign signs with setupkit.
  minisign -G -W -p mini.pub -s mini.key >/dev/null 2>&1 || fail "minisign -G"
  folder_key=mini.key folder_pub=mini.pub
fi
medium --single-file one.run --sign sec.key --sign-comment "Signed Suite 1.0 by the test" || { echo "cannot sign" >&2; exit 1; }
medium -o folder --sign "$folder_key" || { echo "cannot sign a folder" >&2; exit 1; }
medium --single-file plain.run || exit 1

# Checked from outside: by setupkit verify --key, and by hand.
expect 0 "verify one file" "$setupkit" verify --key pub.key one.run
expect 0 "verify folder" "$setupkit" verify --key "$folder_pub" folder
expect 5 "verify with another key" "$setupkit" verify --key other.pub one.run
grep -q "not by key" err || fail "another key: $(cat err)"
expect 5 "verify unsigned" "$setupkit" verify --key pub.key plain.run
if have_minisign; then
  expect 0 "minisign -V one file" minisign -V -p pub.key -m one.run
  (cd folder && minisign -V -q -p "../$folder_pub" -m SETUP.SUM && sha256sum -c --quiet SETUP.SUM) ||
    fail "the folder medium does not check by hand"
fi

# Who signed it, where a person or a script sees it.
expect 0 "check" ./one.run --check
grep -q "signed by key .*, comment \"Signed Suite 1.0 by the test\"" out || fail "check: $(cat out)"
expect 0 "install" ./one.run --unattended --dest "$work/inst" --json
head -1 out | grep -q '"signer":{"key":"[0-9A-F]\{16\}","comment":"Signed Suite 1.0 by the test"' ||
  fail "start event: $(head -1 out)"
expect 0 "unsigned check" ./plain.run --check
grep -q ": unsigned" out || fail "unsigned check: $(cat out)"

# One byte changed in a part, the installer's checksum made to match again:
# only the signature tells, and names the part. Nothing is written.
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
while read -r part offset; do
  cp one.run bad.run
  changed bad.run "$offset"
  expect 2 "changed $part" ./bad.run --unattended --dest "$work/bad-$part"
  grep -q "was changed after it was signed" err || fail "changed $part: $(cat err)"
  [ -e "bad-$part" ] && fail "changed $part: the destination was written"
done <parts
# Without options (the wizard), refused before a private folder is made.
expect 2 "changed attributes, wizard" ./bad.run
cp one.run bad.run && changed bad.run "$(awk '$1 == "ins" {print $2}' parts)"
expect 2 "changed SETUP.INS, check" ./bad.run --check
grep -q "SETUP.INS was changed" err || fail "SETUP.INS not named: $(cat err)"

# The folder medium: a changed file and an added volume are named.
cp -r folder f2 && printf 'X' | dd of=f2/SETUP.BIN bs=1 seek=100 conv=notrunc status=none
expect 2 "changed folder archive" f2/setup --unattended --dest "$work/f2dest"
grep -q "SETUP.BIN was changed" err || fail "folder archive: $(cat err)"
rm -rf f2 && cp -r folder f2 && cp f2/SETUP.BIN f2/SETUP.002
expect 2 "added volume" f2/setup --check
grep -q "SETUP.002 is not among the files signed" err || fail "added volume: $(cat err)"
[ -e f2dest ] && fail "the changed folder medium wrote its destination"

# The publisher pinned by the first installation: another key, or none, is
# refused with nothing written unless the person says so.
expect 0 "first install pins" ./one.run --unattended --dest "$work/pinned"
medium --single-file other.run --sign other.key || exit 1
rm -f pinned/readme.txt
expect 5 "another publisher" ./other.run --unattended --dest "$work/pinned"
grep -q "was installed from a medium signed by key .*; this medium is signed by another key" err ||
  fail "another publisher: $(cat err)"
expect 5 "unsigned over a pinned one" ./plain.run --unattended --dest "$work/pinned"
[ -e pinned/readme.txt ] && fail "a refused publisher wrote into the destination"
expect 0 "another publisher accepted" ./other.run --unattended --dest "$work/pinned" --accept-new-publisher
expect 5 "the first publisher, now another" ./one.run --unattended --dest "$work/pinned"

# The administrator's keys. /etc is a scratch folder in a mount namespace of
# this test's own; the programs run there are static and read nothing else of it.
if [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then
  trusted() {  # trusted KEYFILE COMMAND...: runs with only KEYFILE trusted
    local key=$1
    shift
    unshare -m bash -c 'mount -t tmpfs none /etc && mkdir -p /etc/setupkit/trusted-keys &&
      cp "$0" /etc/setupkit/trusted-keys/publisher.pub && exec "$@"' "$work/$key" "$@"
  }
  expect 0 "trusted key" trusted pub.key ./one.run --check
  grep -q "trusted by this system" out || fail "trusted: $(cat out)"
  expect 5 "unsigned with trusted keys" trusted pub.key ./plain.run --unattended --dest "$work/t1"
  grep -q "unsigned, and this system runs only media signed by a key in /etc/setupkit/trusted-keys" err ||
    fail "unsigned refused: $(cat err)"
  expect 5 "another key with trusted keys" trusted other.pub ./one.run --unattended --dest "$work/t2"
  grep -q "not among the keys this system trusts" err || fail "another key: $(cat err)"
  [ -e t1 ] || [ -e t2 ] && fail "a refused medium wrote its destination"
else
  echo "skipped: the administrator's keys need root and mount namespaces" >&2
fi

leftover=$(find tmp home -name 'setup-run-*' | head -1)
[ -z "$leftover" ] || fail "a private folder was left: $leftover"
exit $((failures > 0))
