#!/usr/bin/env bash
# The whole test run: the plain build (its tests also with the clock since boot
# near zero), the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, and a short fuzzing run of the restore engine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

echo "== plain build and tests"
bash scripts/build.sh build
ctest --test-dir build --output-on-failure -j"$(nproc)" | tee "$logs/plain.log"

# A machine booted moments ago (a fresh CI machine): the steady clock, which
# counts from boot, is then near zero. The plain tests again with that clock
# (in a time namespace, which needs root; skipped where it is refused).
uptime=$(cut -d. -f1 /proc/uptime)
if [ "$uptime" -gt 10 ] && unshare --time --fork --monotonic=-1 true 2>/dev/null; then
  echo "== plain tests with the clock since boot near zero"
  unshare --time --fork --monotonic=-$((uptime - 5)) \
    ctest --test-dir build --output-on-failure -j"$(nproc)" -E '^(package_installs_in_clean_root|clean_system_walk)$' |
    tee "$logs/young.log"
fi

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

# One closing line over every run: "tests passed, N tests failed out of M" from each.
awk '/tests passed, [0-9]+ tests failed out of/ { failed += $4; total += $NF }
     END { printf "all: %d passed, %d failed\n", total - failed, failed }' "$logs"/*.log
