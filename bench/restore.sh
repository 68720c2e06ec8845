#!/usr/bin/env bash
# Throughput of setupkit against zip -9 / unzip on a deterministic corpus:
# archive sizes, pack times and restore times into a tmpfs and onto the disk,
# each the median of several runs with the two tools alternating.
#
#   bench/restore.sh [--quick] [--runs N] [--build DIR]
#
# --quick uses a corpus of about 32 MiB and 2,500 small files instead of
# about 256 MiB and 20,000 small files; runs default to 5 (quick) or 3. Scratch space: /dev/shm/setupkit-bench
# (tmpfs) and ${BENCH_DISK_DIR:-/var/tmp/setupkit-bench} (disk); both are
# removed at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
quick=0
runs=""
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=1 ;;
    --runs) runs=$2; shift ;;
    --build) build=$2; shift ;;
    *) echo "usage: $0 [--quick] [--runs N] [--build DIR]" >&2; exit 64 ;;
  esac
  shift
done

for tool in zip unzip g++; do
  command -v $tool >/dev/null || { echo "$tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
setupkit=$build/tools/setupkit
if [ ! -x "$setupkit" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" --target setupkit -j"$(nproc)" >/dev/null
fi

shm=/dev/shm/setupkit-bench
disk=${BENCH_DISK_DIR:-/var/tmp/setupkit-bench}
rm -rf "$shm" "$disk"
mkdir -p "$shm" "$disk"
trap 'rm -rf "$shm" "$disk"' EXIT

g++ -O2 -std=c++20 -o "$disk/make_corpus" "$root/bench/make_corpus.cpp"
if [ $quick = 1 ]; then mix_mib=32; small_count=2500; else mix_mib=256; small_count=20000; fi
# Three runs of the full corpus keep the whole benchmark within about 15 minutes.
[ -n "$runs" ] || { [ $quick = 1 ] && runs=5 || runs=3; }

# Seconds taken by a command, its output discarded.
elapsed() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }

zip_tree() { (cd "$1" && zip -9 -r -q "$2" .); }
fresh() { rm -rf "$1"; sync; }

report=()
bench_corpus() {
  local name=$1
  local corpus=$shm/corpus-$name
  local bin=$shm/$name.bin zip=$shm/$name.zip
  local files bytes
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  echo "== $name: $files files, $bytes bytes" >&2

  local pack_sk=() pack_zip=()
  for ((i = 0; i < runs; i++)); do
    rm -f "$bin" "$zip"
    if ((i % 2 == 0)); then
      pack_sk+=("$(elapsed "$setupkit" pack -o "$bin" "$corpus")")
      pack_zip+=("$(elapsed zip_tree "$corpus" "$zip")")
    else
      pack_zip+=("$(elapsed zip_tree "$corpus" "$zip")")
      pack_sk+=("$(elapsed "$setupkit" pack -o "$bin" "$corpus")")
    fi
  done
  "$setupkit" verify "$bin" >/dev/null

  local size_sk size_zip
  size_sk=$(stat -c %s "$bin")
  size_zip=$(stat -c %s "$zip")

  local where target
  local -A rs=() rz=()
  for where in tmpfs disk; do
    [ $where = tmpfs ] && target=$shm/out || target=$disk/out
    local sk=() uz=()
    for ((i = 0; i < runs; i++)); do
      if ((i % 2 == 0)); then
        fresh "$target"; sk+=("$(elapsed "$setupkit" restore --full-path "$bin" "$target")")
        fresh "$target"; uz+=("$(elapsed unzip -q -o "$zip" -d "$target")")
      else
        fresh "$target"; uz+=("$(elapsed unzip -q -o "$zip" -d "$target")")
        fresh "$target"; sk+=("$(elapsed "$setupkit" restore --full-path "$bin" "$target")")
      fi
    done
    rs[$where]=$(median "${sk[@]}")
    rz[$where]=$(median "${uz[@]}")
  done
  # Both restores give the corpus back.
  fresh "$shm/out"
  "$setupkit" restore --full-path "$bin" "$shm/out" >/dev/null
  diff -r -q "$corpus" "$shm/out" >/dev/null || { echo "setupkit restore of $name differs from the corpus" >&2; exit 1; }
  rm -rf "$shm/out" "$disk/out"

  local ps pz
  ps=$(median "${pack_sk[@]}")
  pz=$(median "${pack_zip[@]}")
  report+=("$(printf '%-7s %-20s %14s %14s %8s %8s' "$name" "archive bytes" "$size_sk" "$size_zip" "$(ratio "$size_sk" "$size_zip")" "1.02")")
  report+=("$(printf '%-7s %-20s %14s %14s %8s %8s' "$name" "pack s" "$ps" "$pz" "$(ratio "$ps" "$pz")" "0.6")")
  report+=("$(printf '%-7s %-20s %14s %14s %8s %8s' "$name" "restore tmpfs s" "${rs[tmpfs]}" "${rz[tmpfs]}" "$(ratio "${rs[tmpfs]}" "${rz[tmpfs]}")" "0.6")")
  report+=("$(printf '%-7s %-20s %14s %14s %8s %8s' "$name" "restore disk s" "${rs[disk]}" "${rz[disk]}" "$(ratio "${rs[disk]}" "${rz[disk]}")" "-")")
}

"$disk/make_corpus" mix "$shm/corpus-mix" "$mix_mib"
bench_corpus mix
rm -rf "$shm/corpus-mix" "$shm/mix.bin" "$shm/mix.zip"
"$disk/make_corpus" small "$shm/corpus-small" "$small_count"
bench_corpus small

echo
echo "setupkit $(nproc) threads for pack; medians of $runs runs, tools alternating; load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-7s %-20s %14s %14s %8s %8s\n' corpus measure setupkit zip ratio target
printf '%s\n' "${report[@]}"
