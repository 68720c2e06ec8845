#!/usr/bin/env bash
# The whole test run: the plain build, the same suite under AddressSanitizer
# and UndefinedBehaviorSanitizer, and a short fuzzing run of the restore engine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

echo "== plain build and tests"
bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)"

echo "== AddressSanitizer + UBSan build and tests"
bash scripts/build.sh build-asan -DSETUP_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)"

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing the restore engine"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
fi
