#!/usr/bin/env bash
# Throughput of setupkit against its peers on a deterministic corpus, in one
# run so that the ratios compare like with like:
#   - archive sizes and pack times against zip -9, and (mix) what cutting
#     files into the format's 16 KiB chunks costs in size;
#   - restore times into a tmpfs and onto the disk against unzip, bsdtar
#     (reading the same zip) and cp -r of the corpus;
#   - system calls per restored file (strace -f -c);
#   - peak memory (resident set) of restore and of pack on every core;
#   - the CPU time of an installation through the real setup program under
#     Xvfb (driven like make demo) against setupkit restore of the same medium;
#   - the restore of a medium with its attributes checked against the same
#     archive without them;
#   - with --baseline: setupkit verify of the mix against the verify of
#     another setupkit binary (an older build), alternating on the same archive.
# Times are medians of several runs with the tools alternating.
#
#   bench/restore.sh [--quick] [--runs N] [--build DIR] [--no-gui]
#                    [--baseline SETUPKIT] [--verify-only]
#
# --verify-only packs the mix and measures only verify: of the archive
# against --baseline when given, and of an installed tree against sha256sum.
# --install-only measures only the installations (wizard, restore, --record),
# each of the runs.
# --quick uses a corpus of about 32 MiB and 2,500 small files instead of
# about 256 MiB and 20,000 small files; runs default to 5. Scratch space:
# ${BENCH_SHM_DIR:-/dev/shm/setupkit-bench} (tmpfs) and ${BENCH_DISK_DIR:-/var/tmp/setupkit-bench}
# (disk); both are removed at the end. The tools it needs beyond the build
# (strace, GNU time, bsdtar, zip, Xvfb, xdotool, openbox) are installed with
# apt-get when missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
quick=0
runs=""
gui=1
baseline=""
verify_only=0
install_only=0
while [ $# -gt 0 ]; do
  case $1 in
    --quick) quick=1 ;;
    --runs) runs=$2; shift ;;
    --build) build=$2; shift ;;
    --no-gui) gui=0 ;;
    --baseline) baseline=$(realpath "$2"); shift ;;
    --verify-only) verify_only=1; gui=0 ;;
    --install-only) install_only=1 ;;
    *) echo "usage: $0 [--quick] [--runs N] [--build DIR] [--no-gui] [--baseline SETUPKIT] [--verify-only] [--install-only]" >&2
       exit 64 ;;
  esac
  shift
done

# ---- tools ------------------------------------------------------------------
source "$root/bench/tools.sh"
install_missing zip:zip unzip:unzip g++:g++ strace:strace bsdtar:libarchive-tools /usr/bin/time:time \
  Xvfb:xvfb xdotool:xdotool openbox:openbox xdpyinfo:x11-utils

setupkit=$build/tools/setupkit
setup_program=$build/app/setup
targets=(setupkit)
[ $gui = 1 ] && targets+=(setup)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)" >/dev/null

shm=${BENCH_SHM_DIR:-/dev/shm/setupkit-bench}
disk=${BENCH_DISK_DIR:-/var/tmp/setupkit-bench}
rm -rf "$shm" "$disk"
mkdir -p "$shm" "$disk"
started=()
cleanup() {
  local i
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do kill "${started[i]}" 2>/dev/null || true; done
  rm -rf "$shm" "$disk"
}
trap cleanup EXIT

g++ -O2 -std=c++20 -o "$disk/make_corpus" "$root/bench/make_corpus.cpp"
g++ -O2 -std=c++20 -o "$disk/chunk_bound" "$root/bench/chunk_bound.cpp" -lz -ldeflate
if [ $quick = 1 ]; then mix_mib=32; small_count=2500; else mix_mib=256; small_count=20000; fi
[ -n "$runs" ] || runs=5
# Each installation through the wizard takes a few seconds of a display: three
# are enough beside the other rows, while --install-only takes every run.
gui_runs=$((runs < 3 || install_only ? runs : 3))

# ---- measuring --------------------------------------------------------------
# Seconds taken by a command, its output discarded.
elapsed() {
  local start=$EPOCHREALTIME
  "$@" >/dev/null 2>&1
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
# "CPU-seconds peak-KiB" of a command (user + system time, maximum resident set).
cpu_and_rss() {
  local out=$shm/time.out
  /usr/bin/time -o "$out" -f '%U %S %M' "$@" >/dev/null 2>&1
  awk '{ printf "%.2f %d", $1 + $2, $3 }' "$out"
}
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b == 0) print "-"; else printf "%.3f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
fresh() { rm -rf "$1"; sync; }

zip_tree() { (cd "$1" && zip -9 -r -q "$2" .); }
sk_restore() { "$setupkit" restore --full-path "$1" "$2"; }
unzip_restore() { unzip -q -o "$1" -d "$2"; }
bsdtar_restore() { mkdir -p "$2" && bsdtar -xf "$1" -C "$2"; }
cp_restore() { cp -r "$1" "$2"; }

# System calls of one restore (every thread), written to $shm/strace.out; the
# command is run directly (strace cannot run a shell function).
# Prints "all-calls file-status-calls" (stat, lstat, fstat, statx, newfstatat,
# access: the questions asked about files).
syscalls() {
  strace -f -c -o "$shm/strace.out" "$@" >/dev/null 2>&1
  # Columns: % time, seconds, usecs/call, calls, [errors,] name.
  awk '$NF == "total" { total = $4 }
       $NF ~ /^(stat|lstat|fstat|statx|newfstatat|fstatat64|access|faccessat|faccessat2)$/ { stat += $4 }
       END { printf "%d %d", total, stat }' "$shm/strace.out"
}

# ---- the GUI installation ---------------------------------------------------
display=""
start_display() {
  local number=${BENCH_DISPLAY:-94}
  while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done
  display=":$number"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$shm/xvfb.log" 2>&1 &
  started+=($!)
  for _ in $(seq 50); do DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  DISPLAY=$display openbox >"$shm/openbox.log" 2>&1 &
  started+=($!)
  sleep 1
}
wizard_window() {
  local id w
  for id in $(DISPLAY=$display xdotool search --onlyvisible --name '^Setup$' 2>/dev/null); do
    w=$(DISPLAY=$display xdotool getwindowgeometry "$id" | awk '/Geometry/ { split($2, g, "x"); print g[1] }')
    if [ "$w" -ge 400 ] && [ "$w" -le 600 ]; then echo "$id"; return 0; fi
  done
  return 1
}
wait_for() {
  for _ in $(seq 200); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "timed out waiting for: $*" >&2
  return 1
}
click_next() {  # Next / Finish, in the wizard's client coordinates
  DISPLAY=$display xdotool mousemove --window "$(wizard_window)" 333 284 click 1
}
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# The CPU seconds the setup program spends on one installation from MEDIUM:
# from the click that starts it to the moment the program is idle again.
gui_install_cpu() {
  local medium=$1 dest=$2
  fresh "$dest"
  (cd "$medium" && exec ./setup) >"$shm/setup.log" 2>&1 &
  local pid=$!
  wait_for wizard_window
  # The medium's `setup` is the launcher: the wizard, and the installation,
  # run in its child.
  local gui
  gui=$(DISPLAY=$display xdotool getwindowpid "$(wizard_window)")
  sleep 0.5
  click_next  # to the Destination page
  sleep 1
  local before after last idle=0
  before=$(cpu_ticks "$gui")
  click_next  # the installation runs inside this click
  last=$before
  while [ $idle -lt 10 ]; do
    sleep 0.1
    after=$(cpu_ticks "$gui")
    if [ "$after" = "$last" ] && [ -d "$dest" ]; then idle=$((idle + 1)); else idle=0; fi
    last=$after
  done
  click_next  # Finish ends the program
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  awk -v a="$before" -v b="$after" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", (b - a) / hz }'
}

# ---- one corpus -------------------------------------------------------------
report=()
row() {  # corpus measure setupkit peer-name peer ratio goal
  report+=("$(printf '%-6s %-26s %12s %-12s %12s %8s %8s' "$@")")
}

# setupkit verify of one archive by this build and by the baseline, in turn:
# wall-clock and CPU seconds.
bench_verify() {
  local name=$1 bin=$2
  local v_new=() v_old=() c_new=() c_old=() r i k
  for ((i = 0; i < runs; i++)); do
    for k in 0 1; do
      if (((i + k) % 2 == 0)); then
        v_new+=("$(elapsed "$setupkit" verify "$bin")")
        read -r -a r <<<"$(cpu_and_rss "$setupkit" verify "$bin")"; c_new+=("${r[0]}")
      else
        v_old+=("$(elapsed "$baseline" verify "$bin")")
        read -r -a r <<<"$(cpu_and_rss "$baseline" verify "$bin")"; c_old+=("${r[0]}")
      fi
    done
  done
  local vn vo cn co
  vn=$(median "${v_new[@]}"); vo=$(median "${v_old[@]}"); cn=$(median "${c_new[@]}"); co=$(median "${c_old[@]}")
  row "$name" "verify s" "$vn" "baseline" "$vo" "$(ratio "$vn" "$vo")" "0.6"
  row "$name" "  verify CPU s" "$cn" "baseline" "$co" "$(ratio "$cn" "$co")" "-"
}

# setupkit verify of an installed tree (every recorded file hashed, through
# one descriptor of DEST) against sha256sum of the same files, in turn:
# wall-clock seconds. Its throughput should be at least 0.8 of sha256sum's
# (a time ratio of 1.25 at most).
bench_installed_verify() {
  local name=$1 corpus=$2 medium=$shm/medium-verify dest=$shm/installed
  rm -rf "$medium" "$dest"
  "$setupkit" medium -o "$medium" --runtime system --title Bench --app Bench --dest 'C:\Bench' "$corpus" >/dev/null
  "$setupkit" restore --record "$medium/SETUP.BIN" "$dest" >/dev/null
  local w_verify=() w_sum=() i k
  hash_all() { (cd "$dest" && find . -type f ! -name uninstall ! -name .install-record.json -print0 | xargs -0 sha256sum); }
  for ((i = 0; i < runs; i++)); do
    for k in 0 1; do
      if (((i + k) % 2 == 0)); then
        w_verify+=("$(elapsed "$setupkit" verify "$dest")")
      else
        w_sum+=("$(elapsed hash_all)")
      fi
    done
  done
  local wv ws
  wv=$(median "${w_verify[@]}"); ws=$(median "${w_sum[@]}")
  row "$name" "verify DEST s" "$wv" "sha256sum" "$ws" "$(ratio "$wv" "$ws")" "1.25"
  "$setupkit" uninstall --unattended "$dest" >/dev/null 2>&1 || true
  rm -rf "$medium" "$dest"
}

# A medium's restore with its attributes (each file's SHA-256 and size
# checked as it lands, modes, links and folders applied) against the same
# archive without them, in turn: wall-clock and CPU seconds.
bench_checked_restore() {
  local corpus=$1 medium=$shm/medium-checked plain=$shm/medium-plain
  rm -rf "$medium" "$plain"
  "$setupkit" medium -o "$medium" --runtime system --title Bench --app Bench --dest 'C:\Bench' "$corpus" >/dev/null
  mkdir -p "$plain"
  ln "$medium/SETUP.BIN" "$plain/SETUP.BIN"
  local w_checked=() w_plain=() c_checked=() c_plain=() r i k
  for ((i = 0; i < runs; i++)); do
    for k in 0 1; do
      fresh "$shm/out"
      if (((i + k) % 2 == 0)); then
        w_checked+=("$(elapsed sk_restore "$medium/SETUP.BIN" "$shm/out")")
        fresh "$shm/out"
        read -r -a r <<<"$(cpu_and_rss "$setupkit" restore "$medium/SETUP.BIN" "$shm/out")"; c_checked+=("${r[0]}")
      else
        w_plain+=("$(elapsed sk_restore "$plain/SETUP.BIN" "$shm/out")")
        fresh "$shm/out"
        read -r -a r <<<"$(cpu_and_rss "$setupkit" restore "$plain/SETUP.BIN" "$shm/out")"; c_plain+=("${r[0]}")
      fi
    done
  done
  local wc wp cc cp
  wc=$(median "${w_checked[@]}"); wp=$(median "${w_plain[@]}"); cc=$(median "${c_checked[@]}"); cp=$(median "${c_plain[@]}")
  row mix "restore checked s" "$wc" "unchecked" "$wp" "$(ratio "$wc" "$wp")" "1.10"
  row mix "  restore checked CPU s" "$cc" "unchecked" "$cp" "$(ratio "$cc" "$cp")" "-"
  rm -rf "$medium" "$plain" "$shm/out"
}

# The installation through the setup program against setupkit restore of the
# same medium, and against setupkit restore --record, which installs through
# the same routine as the wizard: CPU seconds, medians.
bench_install() {
  local name=$1 corpus=$2 i
  [ $gui = 1 ] || return 0
  local medium=$shm/medium-$name dest=$shm/gui-out
  local dest_windows
  dest_windows="C:$(printf '%s' "$dest" | tr '/' '\\')"
  rm -rf "$medium"
  "$setupkit" medium -o "$medium" --title "Bench" --app "Bench" --dest "$dest_windows" \
    --program "$setup_program" "$corpus" >/dev/null
  [ -n "$display" ] || start_display
  local gui_cpu=() cli_cpu=() record_cpu=() r
  for ((i = 0; i < gui_runs; i++)); do
    gui_cpu+=("$(DISPLAY=$display gui_install_cpu "$medium" "$dest")")
    fresh "$dest"
    # --mode all: overwrite in archive order where names clash, as the wizard does.
    read -r -a r <<<"$(cpu_and_rss "$setupkit" restore --flat --mode all "$medium/SETUP.BIN" "$dest")"
    cli_cpu+=("${r[0]}")
    # The same installation as the wizard's, through the same routine:
    # the medium's attributes checked, the record kept, the uninstaller placed.
    fresh "$dest"
    read -r -a r <<<"$(cpu_and_rss "$setupkit" restore --record "$medium/SETUP.BIN" "$dest")"
    record_cpu+=("${r[0]}")
  done
  local g c rc
  g=$(median "${gui_cpu[@]}")
  c=$(median "${cli_cpu[@]}")
  rc=$(median "${record_cpu[@]}")
  row "$name" "GUI install CPU s" "$g" "restore CPU" "$c" "$(ratio "$g" "$c")" "1.15"
  row "$name" "GUI install CPU s" "$g" "--record CPU" "$rc" "$(ratio "$g" "$rc")" "1.05"
  rm -rf "$medium" "$dest"
}

bench_corpus() {
  local name=$1 goal_tmpfs=$2
  local corpus=$shm/corpus-$name
  local bin=$shm/$name.bin zip=$shm/$name.zip
  local files bytes
  files=$(find "$corpus" -type f | wc -l)
  bytes=$(du -sb "$corpus" | cut -f1)
  echo "== $name: $files files, $bytes bytes" >&2
  if [ $verify_only = 1 ]; then
    "$setupkit" pack -o "$bin" "$corpus" >/dev/null
    [ -z "$baseline" ] || bench_verify "$name" "$bin"
    bench_installed_verify "$name" "$corpus"
    return
  fi
  if [ $install_only = 1 ]; then
    bench_install "$name" "$corpus"
    return
  fi

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
  local size_sk size_zip ps pz
  size_sk=$(stat -c %s "$bin")
  size_zip=$(stat -c %s "$zip")
  ps=$(median "${pack_sk[@]}")
  pz=$(median "${pack_zip[@]}")
  local size_goal="-"
  [ "$name" = mix ] && size_goal="1.005"
  row "$name" "archive bytes" "$size_sk" "zip -9" "$size_zip" "$(ratio "$size_sk" "$size_zip")" "$size_goal"
  row "$name" "pack s ($(nproc) threads)" "$ps" "zip -9" "$pz" "$(ratio "$ps" "$pz")" "0.4"
  if [ "$name" = mix ] && [ -n "$baseline" ]; then bench_verify "$name" "$bin"; fi
  if [ "$name" = mix ]; then bench_checked_restore "$corpus"; fi
  if [ "$name" = mix ]; then
    # What cutting files into 16 KiB chunks costs, with zlib 9 and with the
    # smallest packing, against zlib 9 over whole files (zip -9's data).
    local bound
    read -r -a bound <<<"$("$disk/chunk_bound" "$corpus")"
    row "$name" "16K chunks zlib 9 bytes" "${bound[1]}" "whole files" "${bound[0]}" "$(ratio "${bound[1]}" "${bound[0]}")" "-"
    row "$name" "16K chunks level 12 bytes" "${bound[2]}" "whole files" "${bound[0]}" "$(ratio "${bound[2]}" "${bound[0]}")" "-"
  fi

  # Restores: setupkit, unzip, bsdtar and cp -r in turn, rotating the order.
  local where target tools=(sk unzip bsdtar cp)
  for where in tmpfs disk; do
    [ $where = tmpfs ] && target=$shm/out || target=$disk/out
    local -A times=()
    for tool in "${tools[@]}"; do times[$tool]=""; done
    for ((i = 0; i < runs; i++)); do
      for ((k = 0; k < ${#tools[@]}; k++)); do
        tool=${tools[(i + k) % ${#tools[@]}]}
        fresh "$target"
        case $tool in
          sk) t=$(elapsed sk_restore "$bin" "$target") ;;
          unzip) t=$(elapsed unzip_restore "$zip" "$target") ;;
          bsdtar) t=$(elapsed bsdtar_restore "$zip" "$target") ;;
          cp) t=$(elapsed cp_restore "$corpus" "$target") ;;
        esac
        times[$tool]+="$t "
      done
    done
    local sk uz bt cp
    # shellcheck disable=SC2086  # each list of times is split into its numbers
    {
      sk=$(median ${times[sk]}); uz=$(median ${times[unzip]}); bt=$(median ${times[bsdtar]}); cp=$(median ${times[cp]})
    }
    if [ $where = tmpfs ]; then
      row "$name" "restore tmpfs s" "$sk" "unzip" "$uz" "$(ratio "$sk" "$uz")" "$goal_tmpfs"
    else
      row "$name" "restore disk s" "$sk" "unzip" "$uz" "$(ratio "$sk" "$uz")" "-"
    fi
    row "$name" "  bsdtar / unzip ($where)" "$bt" "unzip" "$uz" "$(ratio "$bt" "$uz")" "-"
    row "$name" "  cp -r / unzip ($where)" "$cp" "unzip" "$uz" "$(ratio "$cp" "$uz")" "-"
    local cp_goal="-"
    [ $where = disk ] && cp_goal="1.10"
    row "$name" "restore $where vs cp -r" "$sk" "cp -r" "$cp" "$(ratio "$sk" "$cp")" "$cp_goal"
  done

  # The restore gives the corpus back.
  fresh "$shm/out"
  sk_restore "$bin" "$shm/out" >/dev/null
  diff -r -q "$corpus" "$shm/out" >/dev/null || { echo "setupkit restore of $name differs from the corpus" >&2; exit 1; }

  # System calls per file.
  local sk_calls uz_calls
  fresh "$shm/out"; read -r -a sk_calls <<<"$(syscalls "$setupkit" restore --full-path "$bin" "$shm/out")"
  fresh "$shm/out"; read -r -a uz_calls <<<"$(syscalls unzip -q -o "$zip" -d "$shm/out")"
  row "$name" "syscalls per file" "$(ratio "${sk_calls[0]}" "$files")" "unzip" "$(ratio "${uz_calls[0]}" "$files")" \
    "$(ratio "${sk_calls[0]}" "${uz_calls[0]}")" "-"
  row "$name" "  file status per file" "$(ratio "${sk_calls[1]}" "$files")" "unzip" "$(ratio "${uz_calls[1]}" "$files")" \
    "-" "-"

  # Peak memory.
  local rss_restore rss_pack rss_unzip
  fresh "$shm/out"; read -r -a rss_restore <<<"$(cpu_and_rss "$setupkit" restore --full-path "$bin" "$shm/out")"
  fresh "$shm/out"; read -r -a rss_unzip <<<"$(cpu_and_rss unzip -q -o "$zip" -d "$shm/out")"
  rm -f "$shm/rss.bin"; read -r -a rss_pack <<<"$(cpu_and_rss "$setupkit" pack -o "$shm/rss.bin" "$corpus")"
  rm -f "$shm/rss.bin"
  row "$name" "restore peak RSS MiB" "$(mib "${rss_restore[1]}")" "unzip" "$(mib "${rss_unzip[1]}")" "-" "<16"
  row "$name" "pack peak RSS MiB" "$(mib "${rss_pack[1]}")" "-" "-" "-" "<64"

  bench_installed_verify "$name" "$corpus"
  bench_install "$name" "$corpus"
  rm -rf "$shm/out" "$disk/out"
}

"$disk/make_corpus" mix "$shm/corpus-mix" "$mix_mib"
bench_corpus mix 0.33
rm -rf "$shm/corpus-mix" "$shm/mix.bin" "$shm/mix.zip"
if [ $verify_only = 0 ]; then
  "$disk/make_corpus" small "$shm/corpus-small" "$small_count"
  bench_corpus small 0.36
fi

# A damaged name 100,000 directories deep: refused before any directory is
# made; its time and memory, and a tree that deep would hold for bsdtar.
deep_name() {
  python3 - "$1" "$2" <<'PY'
import struct, sys
levels, out = int(sys.argv[1]), sys.argv[2]
name = ("C:" + "\\d" * levels + "\\f.txt").encode()
block = b"EC2\0" + struct.pack("<i", -1) + b"x" + struct.pack("<i", 0)
data = struct.pack("<iii", 0, 1, 0) + struct.pack("<i", len(name)) + name + struct.pack("<i", 0x2ACF63C0) + block
open(out, "wb").write(data + struct.pack("<i", 0))
PY
}
if [ $verify_only = 0 ] && [ $install_only = 0 ]; then
  deep_name 100000 "$shm/deep.bin"
  rm -rf "$shm/deep-out"
  /usr/bin/time -f "%e %M" -o "$shm/deep.time" "$setupkit" restore "$shm/deep.bin" "$shm/deep-out" 2>/dev/null || true
  # GNU time puts "Command exited with non-zero status N" first: the figures are the last line.
  read -r deep_s deep_kib < <(tail -n 1 "$shm/deep.time")
  deep_dirs=$( (find "$shm/deep-out" -mindepth 1 -type d 2>/dev/null || true) | wc -l)
  row deep "100,000 levels refused s" "$deep_s" "-" "-" "-" "<1"
  row deep "  peak RSS MiB, dirs left" "$(mib "$deep_kib")" "dirs left" "$deep_dirs" "-" "0"
  rm -rf "$shm/deep.bin" "$shm/deep-out" "$shm/deep.time"
fi

echo
echo "medians of $runs runs (GUI: of $gui_runs), tools rotating; pack on $(nproc) threads;" \
  "load before the end $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-6s %-26s %12s %-12s %12s %8s %8s\n' corpus measure setupkit peer "peer value" ratio goal
printf '%s\n' "${report[@]}"
