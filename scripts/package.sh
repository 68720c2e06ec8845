#!/usr/bin/env bash
# Builds the tree and makes its Debian package: scripts/package.sh BUILD_DIR [OUT_DIR]
# Prints the path of the .deb.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
out=$(realpath -m "${2:-$dir}")
bash scripts/install-deps.sh
bash scripts/build.sh "$dir" >&2
mkdir -p "$out"
(cd "$dir" && cpack -G DEB -B "$out" >&2)
rm -rf "$out/_CPack_Packages"
ls "$out"/setupkit_*.deb
