#!/usr/bin/env bash
# The whole test run: the plain build, the same suite under AddressSanitizer
# and UndefinedBehaviorSanitizer, and a short fuzzing run of the restore engine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

echo "== plain build and tests"
bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)" | tee "$logs/plain.log"

echo "== AddressSanitizer + UBSan build and tests"
bash scripts/build.sh build-asan -DSETUP_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)" | tee "$logs/asan.log"

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing the restore engine"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
fi

# One closing line over both runs: "tests passed, N tests failed out of M" from each.
awk '/tests passed, [0-9]+ tests failed out of/ { failed += $4; total += $NF }
     END { printf "all: %d passed, %d failed\n", total - failed, failed }' "$logs/plain.log" "$logs/asan.log"
