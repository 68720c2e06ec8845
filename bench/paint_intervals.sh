#!/usr/bin/env bash
# How often the wizard's window reaches the screen while it installs a large
# medium (about 300 MiB by default) under Xvfb and openbox: the intervals
# between the images the program puts on the display, from the click that
# starts the installation to the Finish page, and the CPU seconds of the
# installation against `setupkit restore` of the same medium (the GUI's cost).
# The times come from a small preloaded library (bench/paint_log.c); the
# program itself is unchanged.
#
#   bench/paint_intervals.sh [--mib N] [--build DIR] [--dest DIR]
#
# The medium is made in ${BENCH_SHM_DIR:-/dev/shm/setupkit-paint}; files are
# installed into --dest (default /var/tmp/setupkit-paint, on disk, where the
# page cache's write-back can block a write). Both are removed at the end.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
mib=300
dest=/var/tmp/setupkit-paint
while [ $# -gt 0 ]; do
  case $1 in
    --mib) mib=$2; shift ;;
    --build) build=$2; shift ;;
    --dest) dest=$2; shift ;;
    *) echo "usage: $0 [--mib N] [--build DIR] [--dest DIR]" >&2; exit 64 ;;
  esac
  shift
done

source "$root/bench/tools.sh"
install_missing gcc:gcc Xvfb:xvfb xdotool:xdotool openbox:openbox xdpyinfo:x11-utils xwininfo:x11-utils
cmake --build "$build" --target setupkit setup -j"$(nproc)" >/dev/null
setupkit=$build/tools/setupkit

work=${BENCH_SHM_DIR:-/dev/shm/setupkit-paint}
rm -rf "$work" "$dest"
mkdir -p "$work/payload"
started=()
cleanup() {
  local i
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do kill "${started[i]}" 2>/dev/null || true; done
  rm -rf "$work" "$dest"
}
trap cleanup EXIT

gcc -O2 -shared -fPIC -o "$work/paint_log.so" "$root/bench/paint_log.c" -ldl
# A third incompressible, two thirds compressible text, in files of 10 MiB.
for ((i = 0; i < mib / 10; i++)); do
  if ((i % 3 == 0)); then head -c $((10 << 20)) /dev/urandom; else head -c $((10 << 20)) < <(yes "line $i of a compressible file"); fi \
    >"$work/payload/file$i.dat"
done
dest_windows="C:$(printf '%s' "$dest" | tr '/' '\\')"
"$setupkit" medium -o "$work/medium" --title "Bench" --app "Bench" --dest "$dest_windows" \
  --program "$build/app/setup" "$work/payload" >/dev/null

source "$root/scripts/x-walk.sh"
start_virtual_display "$work" "${BENCH_DISPLAY:-96}"
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
now_ns() { python3 -c 'import time; print(time.monotonic_ns())'; }  # the clock of the paint log

(cd "$work/medium" && PAINT_LOG=$work/paints LD_PRELOAD=$work/paint_log.so exec ./setup) >"$work/setup.log" 2>&1 &
pid=$!
started+=($pid)
wait_for wizard_window
sleep 0.5
click_wizard $next_x $next_y  # to the Destination page
sleep 1
start=$(now_ns)
before=$(cpu_ticks "$pid")
xdotool mousemove --window "$(wizard_window)" $next_x $next_y click 1  # the installation runs inside this click
last=$before idle=0
while [ $idle -lt 10 ]; do
  sleep 0.1
  after=$(cpu_ticks "$pid")
  if [ "$after" = "$last" ] && [ -d "$dest" ]; then idle=$((idle + 1)); else idle=0; fi
  last=$after
done
end=$(now_ns)
gui_cpu=$(awk -v a="$before" -v b="$after" -v hz="$(getconf CLK_TCK)" 'BEGIN { printf "%.2f", (b - a) / hz }')
click_wizard $next_x $next_y  # Finish
wait "$pid" 2>/dev/null || true

# The command line's CPU seconds for the same installation.
rm -rf "$dest"
/usr/bin/time -f "%U %S" -o "$work/cli.time" "$setupkit" restore --flat --mode all "$work/medium/SETUP.BIN" "$dest" \
  >/dev/null 2>&1
cli_cpu=$(awk '{ printf "%.2f", $1 + $2 }' "$work/cli.time")

# Intervals between paints while installing; the idle second at the end is
# left out.
awk -v s="$start" -v e="$((end - 1000000000))" -v gui="$gui_cpu" -v cli="$cli_cpu" -v mib="$mib" '
  $1 >= s && $1 <= e { t[n++] = $1 }
  END {
    if (n < 2) { print "fewer than two paints during the installation"; exit 1 }
    for (i = 1; i < n; i++) d[i - 1] = (t[i] - t[i - 1]) / 1e6
    m = n - 1
    for (i = 0; i < m; i++) for (j = i + 1; j < m; j++) if (d[j] < d[i]) { x = d[i]; d[i] = d[j]; d[j] = x }
    over = 0; for (i = 0; i < m; i++) if (d[i] > 100) over++
    printf "installation of %d MiB: %.1f s, %d paints\n", mib, (e - s) / 1e9 + 0, n
    printf "interval between paints ms: median %.1f, 99th percentile %.1f, longest %.1f; over 100 ms: %d\n",
      d[int(m / 2)], d[int(m * 0.99)], d[m - 1], over
    printf "CPU s: GUI %s, setupkit restore %s, ratio %.2f\n", gui, cli, gui / cli
  }' "$work/paints"
