#!/usr/bin/env bash
# What the installation as a transaction costs: the same installations by
# this build and by a baseline build (one made before the transaction), the
# two alternating in one run so that a change in the machine's load falls on
# both; medians of N runs of wall and CPU seconds (user + system):
#   - setupkit restore --record into an empty DEST;
#   - the folder medium's setup --unattended into an empty DEST;
#   - setupkit restore --record over the same installation (every file
#     replaced: one link per file kept aside, removed at the end).
# The payload is the setup program's unpacked runtime (about 57 MB) and 1,200
# small files, each build packing its own medium (its own launcher and
# uninstaller).
#
#   bench/transaction.sh --baseline BUILD [--runs N] [--build DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
baseline=""
runs=7
while [ $# -gt 0 ]; do
  case $1 in
    --baseline) baseline=$(realpath "$2"); shift ;;
    --runs) runs=$2; shift ;;
    --build) build=$(realpath "$2"); shift ;;
    *) echo "usage: $0 --baseline BUILD [--runs N] [--build DIR]" >&2; exit 64 ;;
  esac
  shift
done
[ -n "$baseline" ] || { echo "usage: $0 --baseline BUILD [--runs N] [--build DIR]" >&2; exit 64; }
for b in "$build" "$baseline"; do
  [ -x "$b/tools/setupkit" ] || { echo "$b/tools/setupkit is missing: build it first" >&2; exit 1; }
done

work=$(mktemp -d "${BENCH_DIR:-/var/tmp}/setupkit-transaction.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
export HOME=$work/home XDG_STATE_HOME=$work/state
mkdir -p "$HOME"

"$build/tools/setupkit" medium -o stage --title B --app B --dest 'C:\B' "$root/README.md" >/dev/null 2>&1
mkdir payload && (cd payload && "$build/tools/setupkit" restore ../stage/runtime.pak . >/dev/null)
# The runtime carries the uninstaller as `uninstall`, which an installation
# refuses to let a medium's file replace.
rm payload/uninstall
# And a game's worth of small files: 1,200 of 1 to 16 KiB in 40 folders.
for ((i = 0; i < 1200; i++)); do
  mkdir -p "payload/data/d$((i % 40))"
  head -c $((1024 + (i * 7919) % 15360)) /dev/urandom >"payload/data/d$((i % 40))/f$i.dat"
done
for side in new base; do
  sk=$build/tools/setupkit
  [ $side = base ] && sk=$baseline/tools/setupkit
  "$sk" medium -o "folder-$side" --title B --app B --dest 'C:\B' payload >/dev/null 2>&1
done
cat folder-*/* >/dev/null  # into the page cache

# One run: "wall cpu" in seconds. The destination is as the caller left it.
measure() {
  local TIMEFORMAT='%R %U %S'
  local status=0
  { time "$@" >/dev/null 2>&1 </dev/null; } 2>"$work/times" || status=$?
  [ "$status" -eq 0 ] || echo "failed ($status): $*" >&2
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/times"
}
med() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
uninstall_dest() { "$build/tools/setupkit" uninstall --unattended dest >/dev/null 2>&1 || rm -rf dest; }

# row NAME PREPARE COMMAND...: the command of each build by turns (@SK@ and
# @MEDIUM@ name that build's setupkit and medium), after PREPARE each time.
row() {
  local name=$1 prepare=$2 i side
  shift 2
  local -a base_wall=() base_cpu=() new_wall=() new_cpu=() r cmd
  for ((i = 0; i < runs; i++)); do
    for side in base new; do
      local sk=$build/tools/setupkit
      [ $side = base ] && sk=$baseline/tools/setupkit
      cmd=()
      for word in "$@"; do
        word=${word//@SK@/$sk}
        cmd+=("${word//@MEDIUM@/folder-$side}")
      done
      uninstall_dest
      "$prepare" "$sk" "$side"
      read -r -a r <<<"$(measure "${cmd[@]}")"
      if [ $side = base ]; then base_wall+=("${r[0]}"); base_cpu+=("${r[1]}"); else new_wall+=("${r[0]}"); new_cpu+=("${r[1]}"); fi
    done
  done
  uninstall_dest
  local bw bc nw nc
  bw=$(med "${base_wall[@]}"); bc=$(med "${base_cpu[@]}"); nw=$(med "${new_wall[@]}"); nc=$(med "${new_cpu[@]}")
  printf '%-40s %7.3f %7.3f   %7.3f %7.3f   %5.2f %5.2f\n' "$name" "$bw" "$bc" "$nw" "$nc" \
    "$(echo "$nw / $bw" | bc -l)" "$(echo "$nc / $bc" | bc -l)"
}
nothing() { :; }
installed() { "$1" restore --record "folder-$2/SETUP.BIN" dest >/dev/null 2>&1; }

printf '%-40s %15s   %15s   %11s\n' "($(find payload -type f | wc -l) files, $(du -sm payload | cut -f1) MB, $runs runs)" \
  "before wall cpu" "after wall cpu" "ratio w cpu"
row "restore --record, empty DEST" nothing @SK@ restore --record @MEDIUM@/SETUP.BIN dest
row "setup --unattended, empty DEST" nothing @MEDIUM@/setup --unattended --dest dest --quiet
row "restore --record over itself" installed @SK@ restore --record @MEDIUM@/SETUP.BIN dest
