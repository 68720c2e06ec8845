#!/usr/bin/env bash
# The wizard walked by a screen reader's means (MODE atspi) or by the keyboard
# alone (MODE keys), from a medium whose program uses the system's Qt and from
# one that carries the bundled runtime. Both media hold a two-volume archive.
#
#   screen_reader_walk.sh MODE SETUPKIT SETUP OUTDIR
#
# Starts its own D-Bus session, virtual display (Xvfb) and window manager
# (openbox); the screen reader's bus (at-spi2-core) is started by the session
# on demand. The session is started without DISPLAY, so the AT-SPI bus is
# announced only on the session bus, as on a desktop, and not on the X root
# window. The walk itself is screen_reader_walk.py.
# The medium with the bundled runtime is walked a second time (MODE atspi)
# under a headless Weston with no X server (no DISPLAY), where Weston is
# installed: the program must choose Wayland by itself.
# Environment: WALK_DISPLAY, the first display number tried (default 90);
# WALK_RUNTIMES, the media to walk (default "system bundled wayland").
set -euo pipefail
mode=${1:?usage: screen_reader_walk.sh MODE SETUPKIT SETUP OUTDIR}
setupkit=$2 program=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

for tool in Xvfb openbox xdotool xdpyinfo dbus-daemon /usr/libexec/at-spi-bus-launcher; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
/usr/bin/python3 -c 'import pyatspi' || { echo "missing python3-pyatspi" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out/payload" "$out/work/folder"
echo "a file the chooser lists" > "$out/work/notes.txt"
# About 150 KB that does not compress: two volumes of 100 KB.
for i in 1 2 3; do head -c 50000 /dev/urandom > "$out/payload/data$i.bin"; done
printf 'Read me.\r\n' > "$out/payload/readme.txt"

windows_form() { printf 'C:%s' "$1" | tr '/' '\\'; }

started=()
source "$root/scripts/x-walk.sh"
trap stop_started EXIT

# A runtime folder of its own: the AT-SPI bus puts its socket there, and two
# walks at once must not share it.
export XDG_RUNTIME_DIR=$out/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The session bus, without DISPLAY in its environment (see above).
bus=$(env -u DISPLAY dbus-daemon --session --fork --print-address=1 --print-pid=1)
DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
export DBUS_SESSION_BUS_ADDRESS
started+=("$(sed -n 2p <<<"$bus")")
unset AT_SPI_BUS_ADDRESS
start_virtual_display "$out" "${WALK_DISPLAY:-90}"

# A platform plugin of the user's own, named by the environment a root
# installer keeps through su and sudo -E: the program with the bundled runtime
# must not load it (the walk looks at what it has mapped), nor take a
# platform name it does not carry. The plant is the X11 plugin under the name
# "xcc" (its metadata patched), which no runtime has.
qt_plugins=$(dirname "$(ldd "$program" | awk '/libQt6Core/ { print $3 }')")/qt6/plugins
planted=$out/planted
mkdir -p "$planted/platforms"
/usr/bin/python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); open(sys.argv[2], "wb").write(d.replace(b"cxcb", b"cxcc"))' \
  "$qt_plugins/platforms/libqxcb.so" "$planted/platforms/libplanted.so"
planted_environment=(WALK_PLANTED="$planted" QT_PLUGIN_PATH="$planted" QT_QPA_PLATFORM_PLUGIN_PATH="$planted/platforms"
                     QT_QPA_PLATFORM=xcc)

# start_weston: a headless Weston (a desktop shell, no X server) with its
# socket in XDG_RUNTIME_DIR; WAYLAND_SOCKET_NAME names it.
start_weston() {
  WAYLAND_SOCKET_NAME=walk-wayland-$mode
  weston --backend=headless-backend.so --use-pixman --debug --idle-time=0 --width=1280 --height=1024 \
    --socket="$WAYLAND_SOCKET_NAME" >"$out/weston.log" 2>&1 &
  started+=($!)
  for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/$WAYLAND_SOCKET_NAME" ] && return 0; sleep 0.1; done
  echo "weston did not start: $(tail -3 "$out/weston.log")" >&2
  return 1
}

status=0
for runtime in ${WALK_RUNTIMES:-system bundled wayland}; do
  kind=$runtime
  if [ "$runtime" = wayland ]; then
    kind=bundled
    if [ "$mode" != atspi ]; then echo "== $mode walk on Wayland: not run (its keys go through X11)"; continue; fi
    if ! command -v weston >/dev/null; then echo "== $mode walk on Wayland: skipped, weston is not installed"; continue; fi
    start_weston
  fi
  medium=$out/$runtime/medium
  dest=$(windows_form "$out/$runtime/dest")
  "$setupkit" medium -o "$medium" --runtime "$kind" --title "Access Test" --app "Access App" \
    --dest "$dest" --volume-size 100K --program "$program" "$out/payload" >"$out/$runtime-medium.log" 2>&1
  if [ ! -f "$medium/SETUP.002" ] || [ -f "$medium/SETUP.003" ]; then
    echo "the medium does not hold two volumes: $(ls "$medium")" >&2
    exit 1
  fi
  echo "== $mode walk, $runtime runtime"
  walk=(timeout 90)
  [ "$kind" = bundled ] && walk=(env "${planted_environment[@]}" timeout 90)
  walk+=(/usr/bin/python3 "$here/screen_reader_walk.py" "$mode" "$medium" "$dest" "$out/payload" "$out/work")
  if [ "$runtime" = wayland ]; then
    if ! env -u DISPLAY WAYLAND_DISPLAY="$WAYLAND_SOCKET_NAME" "${walk[@]}"; then
      status=1
      (cd "$out" && env -u DISPLAY WAYLAND_DISPLAY="$WAYLAND_SOCKET_NAME" weston-screenshooter) &&
        echo "screenshot: $(ls "$out"/wayland-screenshot-*.png)"
    fi
  elif ! "${walk[@]}"; then
    status=1
    import -window root "$out/$runtime-failed.png" 2>/dev/null && echo "screenshot: $out/$runtime-failed.png"
  fi
done
exit "$status"
