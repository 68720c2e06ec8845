#!/usr/bin/env bash
# The whole test run: the plain build (its tests also with the clock since boot
# near zero), the static checks (scripts/lint.sh), the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, the threaded tests under
# ThreadSanitizer, and a short fuzzing run of the restore engine. Each step
# says how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

step_started=$SECONDS
took() { echo "-- $1: $((SECONDS - step_started)) s"; step_started=$SECONDS; }

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
took "plain build and tests"

echo "== static checks"
bash scripts/lint.sh build
took "static checks"

echo "== AddressSanitizer + UBSan build and tests"
bash scripts/build.sh build-asan -DSETUP_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$(nproc)" | tee "$logs/asan.log"
took "AddressSanitizer + UBSan"

# The tests that run the threaded code: decoding ahead of a restore (the
# engine's restores, interrupted, damaged and onto a full disk), the
# compression pool and the archive reader's decoding on every core (packing
# and verifying), the packed runtime's decoder threads and the medium check's
# hash thread (the medium's tests). Only their binaries are built, without
# the Qt parts. About 25 s of tests on two cores.
echo "== ThreadSanitizer: the threaded tests"
BUILD_TARGETS="engine_tests medium_tests tools_tests" \
  bash scripts/build.sh build-tsan -DSETUP_TSAN=ON -DSETUP_GUI=OFF
threaded='^(DecodeAheadTest|RestoreTest|VolumeTest|InterruptTest|DamageTest|RestoreMemoryTest|MediumAttributes|RuntimePack|PackDeterminism|PackLayout|VerifyNames|Rows/VerifyDamage|Trees/RoundTrip|FullDisk)\.'
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j"$(nproc)" -R "$threaded" | tee "$logs/tsan.log"
took "ThreadSanitizer"

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing the restore engine"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-60}"
  took "fuzzing"
fi

# One closing line over every run: "tests passed, N tests failed out of M" from each.
awk '/tests passed, [0-9]+ tests failed out of/ { failed += $4; total += $NF }
     END { printf "all: %d passed, %d failed\n", total - failed, failed }' "$logs"/*.log
