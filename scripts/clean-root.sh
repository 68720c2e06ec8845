#!/usr/bin/env bash
# A bare Debian 12 root file system for tests that must run where nothing of
# ours is installed.
#
#   scripts/clean-root.sh            make the cached root if needed, print its path
#   scripts/clean-root.sh --copy DIR make a throwaway copy of it in DIR, print DIR
#   scripts/clean-root.sh --suite bullseye [...]
#                                    the same for an older release (Debian 11,
#                                    GNU C library 2.31), for what must run there
#
# The root is built once with `debootstrap --variant=minbase bookworm` and kept
# outside the clone (SETUPKIT_ROOT_CACHE, default /var/cache/setupkit-test), so
# later runs and CI reuse it. The cached root is never changed after it is
# made: tests that install into a root work on a copy.
# Exits 77 (the conventional "skipped") when this machine cannot make one.
set -euo pipefail

suite=bookworm
if [ "${1:-}" = "--suite" ]; then
  suite=${2:?usage: clean-root.sh --suite NAME [--copy DIR]}
  shift 2
fi
cache=${SETUPKIT_ROOT_CACHE:-/var/cache/setupkit-test}
root=$cache/$suite-minbase

skip() { echo "clean-root: $*; skipped" >&2; exit 77; }

if [ ! -x "$root/bin/sh" ]; then
  [ "$(id -u)" -eq 0 ] || skip "debootstrap needs root"
  command -v debootstrap >/dev/null || skip "debootstrap is not installed"
  mkdir -p "$cache"
  work=$(mktemp -d "$cache/.building.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  echo "clean-root: building a minimal Debian $suite root in $root (once)" >&2
  # debootstrap's own default mirror, unless DEBIAN_MIRROR names another.
  debootstrap --variant=minbase "$suite" "$work/root" ${DEBIAN_MIRROR:+"$DEBIAN_MIRROR"} >"$work/log" 2>&1 ||
    { tail -5 "$work/log" >&2; skip "debootstrap failed"; }
  rm -rf "$root"
  mv "$work/root" "$root"
fi

if [ "${1:-}" = "--copy" ]; then
  dest=${2:?usage: clean-root.sh --copy DIR}
  mkdir -p "$dest"
  cp -a "$root/." "$dest/"
  echo "$dest"
else
  echo "$root"
fi
