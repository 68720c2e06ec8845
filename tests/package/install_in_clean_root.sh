#!/usr/bin/env bash
# The Debian package of this tree installs with apt-get into a bare Debian 12
# root, and the installed setupkit packs, verifies, restores and makes a
# medium there.
#
#   tests/package/install_in_clean_root.sh BUILD_DIR
#
# Builds the package from BUILD_DIR (already built) with CPack, installs it
# into a throwaway copy of the cached clean root (scripts/clean-root.sh),
# downloading its dependencies from the Debian mirror. Exits 77 (skipped)
# where no clean root can be made or entered.
set -euo pipefail
build=$(realpath "$1")
src=$(cd "$(dirname "$0")/../.." && pwd)
skip() { echo "package test: $*; skipped" >&2; exit 77; }
fail() { echo "package test: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || skip "chroot needs root"
# Downloaded packages are kept between runs; the root itself is thrown away.
debs=${SETUPKIT_ROOT_CACHE:-/var/cache/setupkit-test}/package-test-debs
work=$(mktemp -d /var/tmp/setupkit-package.XXXXXX)
root=$work/root
cleanup() {
  for m in "$root/var/cache/apt/archives" "$root/proc"; do
    if mountpoint -q "$m" 2>/dev/null; then umount "$m" || umount -l "$m" || true; fi
  done
  # Never delete through a mount that is still in place.
  if findmnt -rn -o TARGET | grep -q "^$root/"; then
    echo "package test: mounts remain below $root; left in place" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# The package, from this build.
(cd "$build" && cpack -G DEB -B "$work/deb") >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/deb/setupkit_*.deb)

status=0
bash "$src/scripts/clean-root.sh" --copy "$root" >/dev/null || status=$?
[ "$status" -eq 77 ] && skip "no clean root on this machine"
[ "$status" -eq 0 ] || fail "scripts/clean-root.sh failed ($status)"
chroot "$root" /bin/true 2>/dev/null || skip "chroot is refused here"
mount -t proc proc "$root/proc" || skip "cannot mount /proc in the root"
mkdir -p "$debs/partial"
mount --bind "$debs" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/"

in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive /bin/sh -c "$1"
}

# Runs of this test elsewhere share the download cache.
exec 9>"$debs.lock"
flock 9
in_root "apt-get update -qq" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get update failed"; }
in_root "cd /tmp && apt-get install -y -q --no-install-recommends ./setupkit_*.deb" >>"$work/apt.log" 2>&1 ||
  { tail -30 "$work/apt.log" >&2; fail "apt-get install of $(basename "$deb") failed"; }
flock -u 9

# The installed files.
for f in usr/bin/setupkit usr/lib/setupkit/setup usr/lib/setupkit/setup-launcher usr/lib/setupkit/setup-uninstall usr/share/man/man1/setupkit.1.gz \
         usr/share/bash-completion/completions/setupkit; do
  [ -f "$root/$f" ] || fail "/$f is not installed"
done

# The computed dependencies bring every library the binaries load.
missing=$(in_root "ldd /usr/bin/setupkit /usr/lib/setupkit/setup /usr/lib/setupkit/setup-launcher /usr/lib/setupkit/setup-uninstall" | grep "not found" || true)
[ -z "$missing" ] || fail "libraries missing after the install: $missing"

# The bash completion in a root without the bash-completion package.
cat >"$root/tmp/complete.sh" <<'EOF2'
. /usr/share/bash-completion/completions/setupkit
COMP_WORDS=(setupkit ver)
COMP_CWORD=1
_setupkit
echo "${COMPREPLY[*]}"
EOF2
completion=$(in_root "bash /tmp/complete.sh 2>&1")
[ "$completion" = verify ] || fail "the completion without bash-completion offered \"$completion\""

version=$(in_root "setupkit --version")
[[ $version == "setupkit "[0-9]* ]] || fail "setupkit --version printed \"$version\""

# A payload: text, and a binary file larger than one volume.
t=$root/tmp/t
mkdir -p "$t/payload/sub"
seq 1 3000 >"$t/payload/numbers.txt"
cp "$root/usr/bin/setupkit" "$t/payload/sub/tool.bin"

in_root "setupkit pack -o /tmp/t/A.BIN --volume-size 200K /tmp/t/payload" >"$work/pack.log" ||
  { cat "$work/pack.log" >&2; fail "pack failed"; }
[ -f "$t/A.002" ] || fail "pack wrote no second volume"
in_root "setupkit verify /tmp/t/A.BIN" >"$work/verify.log" || { cat "$work/verify.log" >&2; fail "verify failed"; }

# Restore with the defaults: the stored tree below the current directory, silently.
out=$(in_root "mkdir /tmp/t/out && cd /tmp/t/out && setupkit restore /tmp/t/A.BIN 2>&1") || fail "restore failed: $out"
[ -z "$out" ] || fail "restore was not quiet: $out"
diff -r "$t/payload" "$t/out" || fail "the restored tree differs from the payload"

# A medium made there carries the installed setup program.
in_root "setupkit medium -o /tmp/t/medium --title T --app A --dest 'C:\\opt\\t' /tmp/t/payload" >"$work/medium.log" ||
  { cat "$work/medium.log" >&2; fail "medium failed"; }
[ -x "$t/medium/setup" ] || fail "the medium carries no setup launcher"
in_root "setupkit list /tmp/t/medium/runtime.pak" | grep -q 'runtime.lib.libQt6Widgets.so.6' ||
  fail "the medium carries no packed runtime"

echo "package test: $(basename "$deb") installed in a clean root; $version packed, verified, restored and made a medium"
