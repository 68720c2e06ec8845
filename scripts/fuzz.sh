#!/usr/bin/env bash
# Builds the fuzzers with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) in build-fuzz and runs them one after the other
# from freshly generated seed corpora, SECONDS seconds in all: three eighths
# for the restore into memory, an eighth for the restore into real
# directories (on the corpus the first grew), a quarter each for setupkit's
# archive reader and for the fast chunk decoder against zlib.
#   scripts/fuzz.sh [SECONDS]   (default 60)
# A finding stops the run with a non-zero status and leaves the input that
# caused it in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/compiler-cache.sh
seconds=${1:-60}
dir=build-fuzz

cmake -S fuzz -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$dir" -j"$(nproc)"

mkdir -p "$dir/artifacts"
for name in restore reader inflate; do mkdir -p "$dir/seeds-$name" "$dir/corpus-$name"; done
"$dir/make_seeds" "$dir/seeds-restore" "$dir/seeds-inflate"

inflate_seconds=$(( seconds / 4 > 0 ? seconds / 4 : 1 ))
reader_seconds=$inflate_seconds
restore_seconds=$(( seconds / 8 > 0 ? seconds / 8 : 1 ))
memory_seconds=$(( seconds - 2 * inflate_seconds - restore_seconds > 0 ? seconds - 2 * inflate_seconds - restore_seconds : 1 ))
# The reader's inputs start with two bytes where the restore's have one: the
# restore's seeds serve it as they are.
cp "$dir"/seeds-restore/* "$dir/seeds-reader/" 2>/dev/null || true

run() {
  local name=$1 time=$2 corpus=${3:-$1}
  echo "-- ${name}_fuzzer, $time s"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$dir/${name}_fuzzer" "$dir/corpus-$corpus" "$dir/seeds-$corpus" \
      -max_total_time="$time" -timeout=10 -rss_limit_mb=2048 -max_len=70000 \
      -artifact_prefix="$dir/artifacts/$name-" -print_final_stats=1
}
run restore_memory "$memory_seconds" restore
run restore "$restore_seconds"
run reader "$reader_seconds"
run inflate "$inflate_seconds"
