#!/usr/bin/env bash
# What keeping the install record costs, and what an uninstall takes, in one
# run so that the ratios compare like with like: `setupkit restore` against
# `setupkit restore --record` of the same archive, and `setupkit uninstall
# --unattended` against `rm -rf` of the same tree. Medians of several runs,
# the two sides alternating.
#
#   bench/install-record.sh [--runs N] [--files N] [--build DIR]
#
# The corpus: N small files (default 10,000, 1 to 8 KiB) in 100 folders, in
# ${BENCH_SHM_DIR:-/dev/shm/setupkit-record-bench} (tmpfs), removed at the end.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
runs=7
files=10000
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift ;;
    --files) files=$2; shift ;;
    --build) build=$2; shift ;;
    *) echo "usage: $0 [--runs N] [--files N] [--build DIR]" >&2; exit 64 ;;
  esac
  shift
done
setupkit=$build/tools/setupkit
work=${BENCH_SHM_DIR:-/dev/shm/setupkit-record-bench}
rm -rf "$work"
mkdir -p "$work/corpus"
trap 'rm -rf "$work"' EXIT

awk -v out="$work/corpus" -v n="$files" 'BEGIN {
  seed = 7
  for (d = 0; d < 100; d++) system("mkdir -p " out "/d" d)
  for (i = 0; i < n; i++) {
    seed = (seed * 1103515245 + 12345) % 2147483648
    size = 1024 + int(seed / 65536) % 7168
    f = out "/d" (i % 100) "/f" i ".dat"
    line = sprintf("%07d ", i); s = ""
    while (length(s) < size) s = s line
    printf "%s", substr(s, 1, size) > f
    close(f)
  }
}'
"$setupkit" pack -o "$work/SETUP.BIN" "$work/corpus" >/dev/null

elapsed() { local s e; s=$(date +%s%N); "$@" >/dev/null 2>&1; e=$(date +%s%N); echo $(((e - s) / 1000000)); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/plain" ; : >"$work/record" ; : >"$work/rm" ; : >"$work/uninstall"
for _ in $(seq "$runs"); do
  rm -rf "$work/a" "$work/b"
  elapsed "$setupkit" restore "$work/SETUP.BIN" "$work/a" >>"$work/plain"
  elapsed "$setupkit" restore --record "$work/SETUP.BIN" "$work/b" >>"$work/record"
  elapsed rm -rf "$work/a" >>"$work/rm"
  elapsed "$setupkit" uninstall --unattended "$work/b" >>"$work/uninstall"
  [ ! -e "$work/b" ] || { echo "uninstall left $work/b" >&2; exit 1; }
done
plain=$(median <"$work/plain"); record=$(median <"$work/record")
rmt=$(median <"$work/rm"); uninstall=$(median <"$work/uninstall")
echo "files: $files, runs: $runs (medians, ms)"
echo "restore: $plain  restore --record: $record  ratio $(awk -v a="$record" -v b="$plain" 'BEGIN { printf "%.2f", a / b }')"
echo "rm -rf: $rmt  uninstall: $uninstall  ratio $(awk -v a="$uninstall" -v b="$rmt" 'BEGIN { printf "%.2f", a / b }')"
