#!/usr/bin/env bash
# Builds the restore fuzzer with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz and runs it for SECONDS seconds
# from a freshly generated seed corpus.
#   scripts/fuzz.sh [SECONDS]   (default 60)
# A finding stops the run with a non-zero status and leaves the input that
# caused it in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
dir=build-fuzz

cmake -S fuzz -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" -j"$(nproc)"

seeds="$dir/seeds"
corpus="$dir/corpus"
mkdir -p "$seeds" "$corpus" "$dir/artifacts"
"$dir/make_seeds" "$seeds"

ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$dir/restore_fuzzer" "$corpus" "$seeds" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=70000 \
    -artifact_prefix="$dir/artifacts/" -print_final_stats=1
