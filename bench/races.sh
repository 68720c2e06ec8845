#!/usr/bin/env bash
# Two races run in a loop, as root, where one timed test could not catch them:
#
#   folder swap  a second user (65534) whose XDG_RUNTIME_DIR and TMPDIR root
#                keeps (as su and sudo -E do) renames every setup-run-* folder
#                that appears in them and puts one of their own in its place,
#                with a program that leaves /tmp/setupkit-race-owned when it
#                runs. The launcher must never start it: it makes its folder
#                only where that user cannot reach.
#   volume cut   `setupkit restore` of an archive of 20,000 files is cut
#                short (truncate) while it runs, mostly during the look before
#                writing, which reads the volume mapped into memory. It must
#                end with a status of its table (2, damaged), never "Bus error"
#                (135).
#
#   bench/races.sh [--runs N] [--build DIR]
#
# Prints the count of each outcome. Scratch space: /var/tmp/setupkit-races.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
runs=50
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift ;;
    --build) build=$2; shift ;;
    *) echo "usage: $0 [--runs N] [--build DIR]" >&2; exit 64 ;;
  esac
  shift
done
[ "$(id -u)" -eq 0 ] || { echo "races: needs root (to act as a second user)" >&2; exit 77; }
setupkit=$build/tools/setupkit
probe=$build/tests/tools/launcher_probe
work=/var/tmp/setupkit-races
rm -rf "$work" /tmp/setupkit-race-owned
mkdir -p "$work"
chmod 0755 "$work"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

echo "== folder swap ($runs starts)"
mkdir -p "$work/src" "$work/user/run" "$work/user/tmp" "$work/probe"
# A medium's program is named setup, with the launcher beside it.
cp "$probe" "$work/probe/setup"
cp "$build/app/launcher/setup-launcher" "$work/probe/"
echo a > "$work/src/a.txt"
"$setupkit" medium --program "$work/probe/setup" --runtime system --title T --app A --dest "C:\\D" \
  --single-file "$work/setup.run" "$work/src" >/dev/null
chmod 0755 "$work/setup.run"
cat > "$work/user/evil" <<'SCRIPT'
#!/bin/sh
touch /tmp/setupkit-race-owned
SCRIPT
chmod 0755 "$work/user/evil"
chown -R 65534:65534 "$work/user"
chmod 0700 "$work/user/run" "$work/user/tmp"
# The second user's loop: every new private folder is moved away and
# replaced by one holding their program under the program's name.
# shellcheck disable=SC2016  # the loop's script is expanded by the shell it starts
setpriv --reuid=65534 --regid=65534 --clear-groups bash -c '
  while true; do
    for d in "$0"/run/setup-run-* "$0"/tmp/setup-run-*; do
      [ -d "$d" ] || continue
      mv "$d" "$d.moved.$RANDOM" 2>/dev/null && mkdir "$d" && cp "$0/evil" "$d/setup"
    done
  done' "$work/user" &
started_elsewhere=0 owned=0
for _ in $(seq "$runs"); do
  out=$({ cd / && XDG_RUNTIME_DIR=$work/user/run TMPDIR=$work/user/tmp HOME=$work/user "$work/setup.run" 2>/dev/null; } || true)
  case $out in *"folder=$work/user"*) ;; *folder=*) started_elsewhere=$((started_elsewhere + 1)) ;; esac
  folder=$(sed -n 's/^folder=//p' <<<"$out")
  [ -n "$folder" ] && rm -rf "$folder"
  [ -e /tmp/setupkit-race-owned ] && owned=$((owned + 1)) && rm -f /tmp/setupkit-race-owned
done
kill %1 2>/dev/null || true
echo "started outside the user's folders: $started_elsewhere of $runs; the user's program ran: $owned"

echo "== volume cut ($runs restores)"
mkdir -p "$work/many"
for i in $(seq 20000); do echo "file $i" > "$work/many/f$i.txt"; done
"$setupkit" pack -o "$work/many.bin" "$work/many" >/dev/null
declare -A statuses=()
for _ in $(seq "$runs"); do
  cp "$work/many.bin" "$work/m.bin"
  rm -rf "$work/d"
  "$setupkit" restore "$work/m.bin" "$work/d" >/dev/null 2>&1 &
  pid=$!
  sleep "0.00$((RANDOM % 9 + 1))"
  truncate -s 100000 "$work/m.bin"
  status=0
  wait "$pid" || status=$?
  statuses[$status]=$(( ${statuses[$status]:-0} + 1 ))
done
for s in "${!statuses[@]}"; do echo "exit status $s: ${statuses[$s]}"; done
[ -z "${statuses[135]:-}" ] && [ "$owned" -eq 0 ]
