#!/usr/bin/env bash
# How well the wizard's window keeps up with the screen while it installs a
# large medium (about 300 MiB by default) under Xvfb and openbox, against
# `setupkit restore` of the same medium, in alternating rounds:
#   - the intervals between the images the program puts on the display, from
#     the click that starts the installation to its last byte written;
#   - how long its area stays black after a window passed over it (xrefresh
#     -black about every 150 ms): the time to the program's next image;
#   - the CPU and wall seconds of the installation against setupkit restore
#     --flat --mode all (what the wizard does) into the same destination.
# The paint times come from a small preloaded library (bench/paint_log.c),
# the clicks and refreshes from bench/paint_watch.py; the program itself is
# unchanged. Figures are medians of the rounds.
#
#   bench/paint_intervals.sh [--mib N] [--rounds N] [--build DIR] [--dest DIR]
#
# The medium is made in ${BENCH_SHM_DIR:-/dev/shm/setupkit-paint}; files are
# installed into --dest (default /var/tmp/setupkit-paint, on disk, where the
# page cache's write-back can block a write). Both are removed at the end.
# The display is the first free one from ${BENCH_DISPLAY:-96}.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
mib=300
rounds=3
dest=/var/tmp/setupkit-paint
while [ $# -gt 0 ]; do
  case $1 in
    --mib) mib=$2; shift ;;
    --rounds) rounds=$2; shift ;;
    --build) build=$2; shift ;;
    --dest) dest=$2; shift ;;
    *) echo "usage: $0 [--mib N] [--rounds N] [--build DIR] [--dest DIR]" >&2; exit 64 ;;
  esac
  shift
done

source "$root/bench/tools.sh"
install_missing gcc:gcc Xvfb:xvfb xdotool:xdotool openbox:openbox xdpyinfo:x11-utils xwininfo:x11-utils \
  xrefresh:x11-xserver-utils python3:python3 /usr/bin/time:time
cmake --build "$build" --target setupkit setup setup-launcher -j"$(nproc)" >/dev/null
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
bytes=$(find "$work/payload" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
dest_windows="C:$(printf '%s' "$dest" | tr '/' '\\')"
"$setupkit" medium -o "$work/medium" --title "Bench" --app "Bench" --dest "$dest_windows" \
  --program "$build/app/setup" "$work/payload" >/dev/null

source "$root/scripts/x-walk.sh"
start_virtual_display "$work" "${BENCH_DISPLAY:-96}"

# One round: the installation through the wizard, then the command line's.
# Appends "gaps_median gaps_longest over_100 paints expose_median
# expose_longest gui_cpu gui_wall cli_cpu cli_wall" to $work/rounds.
round() {
  local r=$1 pid gui window start end gui_cpu
  rm -rf "$dest"
  sync
  (cd "$work/medium" && PAINT_LOG=$work/paints.$r LD_PRELOAD=$work/paint_log.so exec ./setup) >"$work/setup.log" 2>&1 &
  pid=$!
  started+=("$pid")
  wait_for wizard_window
  window=$(wizard_window)
  # The medium's `setup` is the launcher: the wizard runs in its child.
  gui=$(xdotool getwindowpid "$window")
  sleep 0.5
  click_wizard $next_x $next_y  # to the Destination page
  sleep 1
  read -r start end gui_cpu < <(python3 "$root/bench/paint_watch.py" "$gui" "$window" $next_x $next_y "$dest" "$bytes" \
    "$work/exposes.$r")
  click_wizard $next_x $next_y  # Finish
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true

  rm -rf "$dest"
  sync
  /usr/bin/time -f "%U %S %e" -o "$work/cli.time" "$setupkit" restore --flat --mode all "$work/medium/SETUP.BIN" "$dest" \
    >/dev/null 2>&1

  # Paint intervals, the click and the last byte counted as the first and
  # the last; for each refresh, the time to the next image.
  awk -v s="$start" -v e="$end" -v gui="$gui_cpu" -v cli="$(cat "$work/cli.time")" '
    FNR == 1 { file++ }
    file == 1 { paint[np++] = $1; next }
    { expose[nx++] = $1 }
    function sort(a, n,   i, j, x) { for (i = 0; i < n; i++) for (j = i + 1; j < n; j++) if (a[j] < a[i]) { x = a[i]; a[i] = a[j]; a[j] = x } }
    END {
      t[n++] = s
      for (i = 0; i < np; i++) if (paint[i] > s && paint[i] < e) t[n++] = paint[i]
      t[n++] = e
      for (i = 1; i < n; i++) d[i - 1] = (t[i] - t[i - 1]) / 1e6
      m = n - 1; sort(d, m)
      over = 0; for (i = 0; i < m; i++) if (d[i] > 100) over++
      k = 0
      for (i = 0; i < nx; i++) {
        for (j = 0; j < np && paint[j] < expose[i]; j++) {}
        if (j < np) l[k++] = (paint[j] - expose[i]) / 1e6
      }
      sort(l, k)
      split(cli, c, " ")
      printf "%.1f %.1f %d %d %.1f %.1f %.2f %.2f %.2f %.2f\n", d[int(m / 2)], d[m - 1], over, n - 2,
        k ? l[int(k / 2)] : 0, k ? l[k - 1] : 0, gui, (e - s) / 1e9, c[1] + c[2], c[3]
    }' "$work/paints.$r" "$work/exposes.$r" >>"$work/rounds"
  echo "round $r: $(tail -1 "$work/rounds")" >&2
}

for ((r = 1; r <= rounds; r++)); do round "$r"; done

median_of() { awk -v k="$1" '{ print $k }' "$work/rounds" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", b ? a / b : 0 }'; }
echo "installation of $mib MiB into $dest, medians of $rounds rounds:"
echo "  paints: $(median_of 4); interval between paints ms: median $(median_of 1), longest $(median_of 2); over 100 ms: $(median_of 3)"
echo "  black after a window passed over it, ms: median $(median_of 5), longest $(median_of 6)"
echo "  CPU s: GUI $(median_of 7), setupkit restore $(median_of 9), ratio $(ratio "$(median_of 7)" "$(median_of 9)")"
echo "  wall s: GUI $(median_of 8), setupkit restore $(median_of 10), ratio $(ratio "$(median_of 8)" "$(median_of 10)")"
