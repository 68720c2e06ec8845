#!/usr/bin/env bash
# The cost of a medium's empty folders (D lines of SETUP.ATR): a payload of
# one file and N empty folders in one folder, restored with and without an
# install record (--record, which notes each folder before it is made, as
# every installation does). Each count is timed once; the time per folder
# should stay flat as N grows.
#   bench/empty_folders.sh [SETUPKIT] [N...]     (default: 1000 5000 20000)
set -euo pipefail
kit=${1:-build/tools/setupkit}
shift || true
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1000 5000 20000)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%8s %10s %14s %16s\n' folders restore_s record_s record_us_each
for n in "${counts[@]}"; do
  rm -rf "$work/src" "$work/m"
  mkdir -p "$work/src/e" "$work/m"
  echo hi >"$work/src/a.txt"
  (cd "$work/src/e" && seq -f 'f%g' 1 "$n" | xargs mkdir)
  "$kit" pack --attributes "$work/m/SETUP.ATR" -o "$work/m/SETUP.BIN" "$work/src" >/dev/null 2>&1
  times=()
  for options in "" "--record"; do
    rm -rf "$work/dest"
    start=$(date +%s%N)
    "$kit" restore $options "$work/m/SETUP.BIN" "$work/dest"
    end=$(date +%s%N)
    made=$(find "$work/dest/e" -mindepth 1 -maxdepth 1 -type d | wc -l)
    [ "$made" -eq "$n" ] || { echo "made $made folders of $n" >&2; exit 1; }
    times+=("$((end - start))")
  done
  awk -v n="$n" -v a="${times[0]}" -v b="${times[1]}" \
    'BEGIN { printf "%8d %10.2f %14.2f %16.0f\n", n, a / 1e9, b / 1e9, b / 1e3 / n }'
done
