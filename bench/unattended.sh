#!/usr/bin/env bash
# An unattended install against `setupkit restore` of the same archive, side
# by side (medians of N runs, the medium in the page cache):
#   - the one-file installer's --unattended (check, restore, JSON off) against
#     setupkit restore of the same installer, flat as the wizard restores;
#   - the folder medium's setup --unattended against setupkit restore of its
#     SETUP.BIN;
#   - both again against setupkit restore --record, which does the same work
#     as the unattended install (the check as files land, the install record,
#     the uninstaller placed);
#   - the launcher's start: --version, and its stripped size.
# The payload is the setup program's unpacked runtime (about 76 MB).
#
#   bench/unattended.sh [--runs N] [--build DIR]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
runs=7
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift ;;
    --build) build=$2; shift ;;
    *) echo "usage: $0 [--runs N] [--build DIR]" >&2; exit 64 ;;
  esac
  shift
done
setupkit=$build/tools/setupkit
work=/var/tmp/setupkit-bench-unattended
rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
cd "$work"

# The payload: the runtime a medium packs, unpacked.
"$setupkit" medium -o stage --title B --app B --dest 'C:\B' "$root/README.md" >/dev/null 2>&1
mkdir payload && (cd payload && "$setupkit" restore ../stage/runtime.pak . >/dev/null)
"$setupkit" medium -o folder --title B --app B --dest 'C:\B' payload >/dev/null 2>&1
"$setupkit" medium --single-file one.run --title B --app B --dest 'C:\B' payload >/dev/null 2>&1
cat one.run folder/* >/dev/null  # into the page cache

# One run's wall time in seconds; the destination is emptied first.
timed() {
  rm -rf dest
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null 2>&1 </dev/null
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc
}
med() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# pair NAME -- PEER... -- OURS...: the two commands run by turns (so that a
# change in the machine's load falls on both), then their medians and ratio.
pair() {
  local name=$1 peer=() ours=() a=() b=() i
  shift 2
  while [ "$1" != "--" ]; do peer+=("$1"); shift; done
  shift
  ours=("$@")
  for ((i = 0; i < runs; i++)); do
    a+=("$(timed "${peer[@]}")")
    b+=("$(timed "${ours[@]}")")
  done
  row "$name" "$(med "${a[@]}")" "$(med "${b[@]}")"
}

row() {  # row NAME PEER_TIME OUR_TIME
  printf '%-44s %8.3f s %8.3f s   %5.2f\n' "$1" "$2" "$3" "$(echo "$3 / $2" | bc -l)"
}

printf '%-44s %10s %10s   %5s\n' "row (payload $(du -sm payload | cut -f1) MB, $runs runs)" "restore" "setup" "ratio"
pair "one-file installer" -- "$setupkit" restore --flat --mode all one.run dest -- ./one.run --unattended --dest dest --quiet
pair "folder medium" -- "$setupkit" restore --flat --mode all folder/SETUP.BIN dest -- folder/setup --unattended --dest dest --quiet
# What an unattended install does besides the restore (the check as files
# land, the record, the uninstaller), against the same work by setupkit.
pair "one-file installer, recorded" -- "$setupkit" restore --record one.run dest -- ./one.run --unattended --dest dest --quiet
pair "folder medium, recorded" -- "$setupkit" restore --record folder/SETUP.BIN dest -- folder/setup --unattended --dest dest --quiet
times=()
for ((i = 0; i < runs; i++)); do times+=("$(timed folder/setup --version)"); done
start=$(med "${times[@]}")
strip -o launcher.stripped "$build/app/launcher/setup-launcher"
echo "launcher: $(stat -c %s launcher.stripped) bytes stripped, --version in $start s"
