#!/usr/bin/env bash
# What a medium weighs and how fast it starts, the packed runtime beside
# today's unpacked one (the program and runtime/ lying on the medium):
#   - the runtime on the medium (runtime.pak against the runtime/ folder) and
#     the demo's one-file installer;
#   - start to the first window (the wizard visible) with the medium in the
#     page cache, on a virtual display: unpacked medium, packed medium,
#     one-file installer (median of N runs);
#   - the launcher's peak memory (resident set) and time while it checks and
#     unpacks the real runtime (the program it starts then is a stub);
#   - what checking the signature adds to the start of the demo's one-file
#     installer (signed against unsigned, --list, which reads little else),
#     and the launcher's size;
#   - a restore from the one-file installer against one from the folder
#     medium, with the unpacked runtime (76 MB of libraries and fonts) as the
#     payload: the archive is read in place, so the two should match.
#
#   bench/medium.sh [--runs N] [--build DIR]
#
# Scratch space: /var/tmp/setupkit-bench-medium, removed at the end. The
# tools it needs beyond the build (Xvfb, xdotool, GNU time) are installed
# with apt-get when missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
runs=5
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift ;;
    --build) build=$2; shift ;;
    *) echo "usage: $0 [--runs N] [--build DIR]" >&2; exit 64 ;;
  esac
  shift
done
source "$root/bench/tools.sh"
install_missing Xvfb:xvfb xdotool:xdotool /usr/bin/time:time zstd:zstd
setupkit=$build/tools/setupkit
work=/var/tmp/setupkit-bench-medium
rm -rf "$work"
mkdir -p "$work/tmp"
started=()
cleanup() {
  local p
  for p in "${started[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
# Private folders go into the scratch space, nowhere else.
export TMPDIR=$work/tmp XDG_CACHE_HOME=$work/tmp
unset XDG_RUNTIME_DIR

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
mb() { awk -v b="$1" 'BEGIN { printf "%.1f MB", b / 1000000 }'; }

# ---- the media --------------------------------------------------------------
bash "$root/scripts/make-demo-payload.sh" "$work/payload" >/dev/null
args=(--title "Bench" --app "Bench" --dest 'C:\var\tmp\setupkit-bench-medium\dest' --program "$build/app/setup")
"$setupkit" medium -o "$work/packed" "${args[@]}" "$work/payload" >/dev/null
"$setupkit" medium --single-file "$work/setup.run" "${args[@]}" "$work/payload" >/dev/null
# Today's medium: the program and its runtime folder unpacked beside the archive.
mkdir -p "$work/unpacked"
"$setupkit" restore "$work/packed/runtime.pak" "$work/unpacked" >/dev/null
chmod 755 "$work/unpacked/setup"
cp "$work/packed/SETUP.INS" "$work/packed/SETUP.BIN" "$work/unpacked/"

unpacked_bytes=$(du -sb --apparent-size "$work/unpacked/runtime" "$work/unpacked/setup" | awk '{ s += $1 } END { print s }')
packed_bytes=$(stat -c %s "$work/packed/runtime.pak")
launcher_bytes=$(stat -c %s "$work/packed/setup")
onefile_bytes=$(stat -c %s "$work/setup.run")
echo "| row | today (unpacked) | packed | goal |"
echo "|---|---|---|---|"
echo "| runtime on the medium (program + runtime) | $(mb "$unpacked_bytes") | $(mb "$packed_bytes") + launcher $(mb "$launcher_bytes") | |"
echo "| demo one-file installer (with the Wayland plugins) | – | $(mb "$onefile_bytes") | ≤ 25 MB |"
icu=$work/unpacked/runtime/lib/libicudata.so.72
[ -f "$icu" ] && echo "| of which ICU's data library: file size / data kept (on disk) | $(mb "$(stat -c %s "$icu")") | $(mb "$(($(stat -c %b "$icu") * 512))") | |"

# ---- start to the first window ----------------------------------------------
number=91
while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done
export DISPLAY=":$number"
Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
started+=($!)
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

# first_window DIR COMMAND: seconds from the start to a visible wizard ("-"
# when none shows within 30 s). The last run's windows are gone first.
first_window() {
  local dir=$1 command=$2 start end pid found=0
  for _ in $(seq 500); do xdotool search --onlyvisible --name '^Setup$' >/dev/null 2>&1 || break; sleep 0.01; done
  start=$(date +%s.%N)
  (cd "$dir" && exec $command) >>"$work/setup.log" 2>&1 &
  pid=$!
  for _ in $(seq 6000); do
    if xdotool search --onlyvisible --name '^Setup$' >/dev/null 2>&1; then found=1; break; fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.005
  done
  end=$(date +%s.%N)
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  if [ "$found" -eq 1 ]; then awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f\n", e - s }'; else echo "-"; fi
}
row() {
  local name=$1 dir=$2 command=$3 times
  first_window "$dir" "$command" >/dev/null   # into the page cache
  times=$(for _ in $(seq "$runs"); do first_window "$dir" "$command"; done)
  echo "| start to the first window, $name | $(echo "$times" | grep -v -- - | median) s (of $(paste -sd/ <<<"$times")) | | ≤ 0.15 s |"
}
row "unpacked medium (today)" "$work/unpacked" ./setup
row "packed medium" "$work/packed" ./setup
row "one-file installer" "$work" ./setup.run

# ---- the launcher alone -----------------------------------------------------
# The real runtime, its program swapped for a stub that ends at once (an ELF
# program: the launcher starts it through its descriptor, which a script's
# interpreter could not open).
stage=$work/stage
mkdir -p "$stage" "$work/stub"
cp -a "$work/unpacked/runtime" "$stage/"
cp /bin/true "$stage/setup"
# Packed as setupkit packs a runtime (medium/runtime_pack.h): the folders in
# a first frame, the files in two frames of about the same work (bytes
# outside zero pages), each with its checksum, at level 19 in a 4 MiB window;
# x86-64 code with its branch targets absolute (runtime_pack::convertBranches).
/usr/bin/python3 - "$stage" "$work/stub/runtime.pak" <<'PY'
import os, struct, subprocess, sys
folders, files = [], []
def absolute_branches(data):
    data, i, reach, span = bytearray(data), 0, 1 << 24, 1 << 25
    while True:
        hits = [h for h in (data.find(b"\xe8", i), data.find(b"\xe9", i)) if h >= 0]
        if not hits or min(hits) + 4 >= len(data):
            return bytes(data)
        i = min(hits)
        value = struct.unpack_from("<I", data, i + 1)[0]
        if (value + reach) % (1 << 32) < span:
            converted = ((value + ((i + 5) % span) + reach) % span - reach) % (1 << 32)
            struct.pack_into("<I", data, i + 1, converted)
        i += 5
def walk(folder, prefix):
    for name in sorted(os.listdir(folder)):
        path, rel = os.path.join(folder, name), (prefix + name).encode()
        if os.path.isdir(path):
            folders.append(b"D" + struct.pack("<H", len(rel)) + rel)
            walk(path, prefix + name + "/")
        else:
            data = open(path, "rb").read()
            kind = b"X" if os.access(path, os.X_OK) else b"F"
            if data[:4] == b"\x7fELF" and data[4:6] == b"\x02\x01" and data[18:20] == b"\x3e\x00":
                data, kind = absolute_branches(data), kind.lower()
            weight = len(data) - sum(4096 for i in range(0, len(data) - 4095, 4096) if not any(data[i:i + 4096]))
            files.append((kind + struct.pack("<H", len(rel)) + rel + struct.pack("<Q", len(data)) + data, weight))
walk(sys.argv[1], "")
total, before, runs = sum(w for _, w in files), 0, [[], []]
for record, weight in files:
    runs[min(1, (before + weight // 2) * 2 // max(total, 1))].append(record)
    before += weight
parts = [b"".join(folders)] + [b"".join(r) for r in runs if r]
parts[-1] += b"E"
frames = [subprocess.run(["zstd", "-q", "-19", "--zstd=wlog=22", "--check", "-c"], input=p, capture_output=True, check=True).stdout for p in parts]
with open(sys.argv[2], "wb") as out:
    out.write(b"setup runtime zstd 3\n" + struct.pack("<I", len(frames)) + b"".join(struct.pack("<Q", len(f)) for f in frames))
    for f in frames:
        out.write(f)
PY
cp "$work/packed/setup" "$work/packed/SETUP.INS" "$work/packed/SETUP.BIN" "$work/stub/"
peaks=() secs=()
for _ in $(seq "$runs"); do
  /usr/bin/time -f '%M %e' -o "$work/time.txt" sh -c "cd '$work/stub' && exec ./setup"
  read -r kib s <"$work/time.txt"
  peaks+=("$kib")
  secs+=("$s")
  rm -rf "$work/tmp"/setup-run-*   # the stub does not remove its folder as the program does
done
echo "| launcher peak memory (unpacking the real runtime) | | $(printf '%s\n' "${peaks[@]}" | median) KiB | ≤ 16384 KiB |"
echo "| launcher time to the program (checks + unpacking) | | $(printf '%s\n' "${secs[@]}" | median) s | |"

# ---- the signature check at the start ----------------------------------------
# The same installer signed: every part's SHA-256 and the signature are
# checked before anything else; --list then reads only the archive's records.
"$setupkit" key new --public "$work/bench.pub" --secret "$work/bench.key" --no-password >/dev/null
"$setupkit" medium --single-file "$work/signed.run" "${args[@]}" --sign "$work/bench.key" "$work/payload" >/dev/null
start_time() {
  local s e
  s=$(date +%s.%N)
  "$1" --list >/dev/null
  e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN { printf "%.3f\n", e - s }'
}
start_time "$work/setup.run" >/dev/null
start_time "$work/signed.run" >/dev/null
plain_times=() signed_times=()
for _ in $(seq "$runs"); do
  plain_times+=("$(start_time "$work/setup.run")")
  signed_times+=("$(start_time "$work/signed.run")")
done
plain=$(printf '%s\n' "${plain_times[@]}" | median)
signed=$(printf '%s\n' "${signed_times[@]}" | median)
echo "| one-file installer's start (--list): unsigned / signed, added | $plain s | $signed s, +$(awk -v a="$plain" -v b="$signed" 'BEGIN { printf "%.3f", b - a }') s | ≤ +0.1 s |"
echo "| launcher size (static, stripped) | | $(mb "$launcher_bytes") | |"

# ---- an install from one file against one from a folder ---------------------
big=$work/big
mkdir -p "$big"
"$setupkit" medium -o "$big/folder" "${args[@]}" "$work/unpacked/runtime" >/dev/null
"$setupkit" medium --single-file "$big/big.run" "${args[@]}" "$work/unpacked/runtime" >/dev/null
restore_time() {
  rm -rf "$big/out"
  local s e
  s=$(date +%s.%N)
  "$setupkit" restore "$1" "$big/out" >/dev/null
  e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN { printf "%.3f\n", e - s }'
}
restore_time "$big/folder/SETUP.BIN" >/dev/null
restore_time "$big/big.run" >/dev/null
folder_times=() file_times=()
for _ in $(seq "$runs"); do
  folder_times+=("$(restore_time "$big/folder/SETUP.BIN")")
  file_times+=("$(restore_time "$big/big.run")")
done
echo "| restore of 76 MB: folder medium / one file | $(printf '%s\n' "${folder_times[@]}" | median) s | $(printf '%s\n' "${file_times[@]}" | median) s | within 10 % |"
# The one-file installer's check (sizes and CRC-32 of the whole file) before
# the restore: what listing it costs more than listing the folder's archive.
list_time() {
  local s e
  s=$(date +%s.%N)
  "$setupkit" list "$1" >/dev/null
  e=$(date +%s.%N)
  awk -v s="$s" -v e="$e" 'BEGIN { printf "%.3f\n", e - s }'
}
check_times=()
for _ in $(seq "$runs"); do
  a=$(list_time "$big/folder/SETUP.BIN")
  b=$(list_time "$big/big.run")
  check_times+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.3f\n", b - a }')")
done
echo "| of which the one-file check ($(mb "$(stat -c %s "$big/big.run")")) | | $(printf '%s\n' "${check_times[@]}" | median) s | |"
