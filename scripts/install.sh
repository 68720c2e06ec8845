#!/usr/bin/env bash
# Builds what is installed and installs it: scripts/install.sh BUILD_DIR PREFIX [DESTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
prefix=${2:-/usr/local}
bash scripts/install-deps.sh
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$dir" -j"$(nproc)" --target setupkit setup setup-launcher setup-uninstall setupkit_manpage
DESTDIR=${3:-} cmake --install "$dir" --prefix "$prefix" --strip
