#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh DIR [extra cmake options...]
# With BUILD_TARGETS set (names separated by spaces) only those targets and
# what they need are built.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
dir=${1:-build}
shift || true
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for target in ${BUILD_TARGETS:-}; do targets+=(--target "$target"); done
cmake --build "$dir" -j"$(nproc)" "${targets[@]}"
