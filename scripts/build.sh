#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh DIR [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$dir" -j"$(nproc)"
