#!/usr/bin/env bash
# The setup program on a machine where nothing is installed, in a bare
# Debian 12 root on a virtual display, twice:
# - the one-file installer (`setupkit medium --single-file`), run as
#   ./setup.run; a copy cut short must be refused before anything is written;
# - a two-disk medium (`setupkit medium --disks`) with /tmp mounted noexec, so
#   that the launcher must unpack into the user's cache folder. Disk 1 is
#   mounted at /media/cdrom; at the disk prompt it is unmounted (which fails
#   if the program still holds a file of it) and disk 2 is mounted in its place.
# Every page is photographed and must show text (the Installing page its
# animation, and no file name before the first file is installed); every
# payload file must arrive with its bytes and date; the program must end with
# exit code 0 and leave no private folder behind.
#
#   walk.sh SETUPKIT SETUP SHOTDIR     exit 0 passed, 1 failed, 77 skipped
set -euo pipefail
setupkit=$(realpath "$1")
# shellcheck disable=SC2034  # the program the media carry: setupkit medium finds this same file beside itself
setup=$(realpath "$2")
shots=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
source "$cs_repo/scripts/x-walk.sh"

for tool in Xvfb openbox xdotool xwininfo import convert chroot; do
  command -v "$tool" >/dev/null || cs_skip "$tool is not installed (scripts/install-deps.sh)"
done
cs_init "$(mktemp -d /tmp/clean-system.XXXXXX)"
cs_on_exit+=("rm -rf '$cs_work'")
rm -rf "$shots"
mkdir -p "$shots"
export TZ=UTC0   # setupkit here and setup in the root read dates alike

# ---- The payload: folders (kept by the medium), an executable, even seconds ----
payload=$cs_work/payload
mkdir -p "$payload/bin" "$payload/docs/en" "$payload/data"
head -c 300000 /dev/urandom >"$payload/bin/program.bin"     # does not compress: spans the disks
seq 1 20000 >"$payload/docs/en/numbers.txt"
printf 'read me\r\n' >"$payload/docs/read me.txt"
: >"$payload/data/empty.dat"
head -c 70000 /dev/urandom >"$payload/data/tables.dat"
chmod 0755 "$payload/bin/program.bin"
touch -d '2001-02-03 04:05:06' "$payload/bin/program.bin"
touch -d '1999-12-31 23:59:58' "$payload/docs/en/numbers.txt"
touch -d '2024-07-01 12:00:00' "$payload/docs/read me.txt" "$payload/data/empty.dat"
touch -d '2010-01-01 00:00:02' "$payload/data/tables.dat"

# ---- The media: disk 1 holds the launcher, the packed runtime and about 150 KB of the archive
medium=$cs_work/medium
make_medium() {
  "$setupkit" medium -o "$medium" --title "Clean System Test" --app "Test App" --dest 'C:\root\Installed' \
    --disks "$@" "$payload"
}
make_medium >"$shots/medium-probe.log"
disk1_files=$(find "$medium/disk1" -type f ! -name 'SETUP.BIN' -printf '%s\n' | awk '{ s += $1 } END { print s }')
# The image's own blocks count too: 512 KiB and 2 KiB for each of disk 1's five files.
capacity=$((disk1_files + 150000 + 524288 + 5 * 2048))
make_medium --volume-size "$capacity" --image iso | tee "$shots/medium.log"
{ [ -f "$medium/disk2/SETUP.002" ] && [ ! -e "$medium/disk3" ]; } || { echo "FAIL: the medium is not two disks" >&2; exit 1; }
used=$(find "$medium/disk1" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
[ "$used" -le "$capacity" ] || { echo "FAIL: disk 1 holds $used bytes, more than $capacity" >&2; exit 1; }
for image in "$medium"/disk*.iso; do
  [ "$(stat -c %s "$image")" -le "$capacity" ] || { echo "FAIL: $image is larger than $capacity" >&2; exit 1; }
done
onefile=$cs_work/setup.run
"$setupkit" medium --single-file "$onefile" --title "Clean System Test" --app "Test App" \
  --dest 'C:\root\OneFile' --menu-name "Test App" --menu-exec bin/program.bin --menu-categories Utility \
  "$payload" | tee "$shots/one-file.log"

# ---- The bare root, a display ---------------------------------------------
root=$cs_work/root
cs_make_root "$root"
start_virtual_display "$shots" 120
cs_bind_system "$root"
[ -x "$root/usr/lib/x86_64-linux-gnu/libQt6Core.so.6" ] && { echo "FAIL: the root is not bare" >&2; exit 1; }
drive=$root/media/cdrom
mkdir -p "$drive" "$root/root/Downloads"
# insert_disk N: the disk's ISO image mounted read-only where the kernel can
# mount images, else a tmpfs holding a copy of the disk's folder.
insert_disk() {
  if cs_mount -o loop,ro "$medium/disk$1.iso" "$drive" 2>/dev/null; then
    echo "disk $1: image mounted at /media/cdrom"
  else
    cs_mount -t tmpfs -o size=200m,mode=0755 "disk$1" "$drive" || cs_skip "mounting a tmpfs is refused here"
    cp -a "$medium/disk$1/." "$drive/"
    echo "disk $1: folder copied to a tmpfs at /media/cdrom"
  fi
}

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# expect_text WINDOW X Y W H WHAT: the last screenshot shows text in that
# client rectangle of the window (a page without fonts shows none).
expect_text() {
  local origin n
  origin=$(client_origin "$1")
  n=$(dark_pixels "$shot_file" $((${origin% *} + $2)) $((${origin#* } + $3)) "$4" "$5")
  [ "$n" -ge 100 ] || fail "$6: no text drawn ($n dark pixels) in $shot_file"
}

# coloured_pixels WINDOW X Y W H: strongly coloured pixels of that client
# rectangle in the last screenshot (the copy animation, a GIF picture).
coloured_pixels() {
  local origin
  origin=$(client_origin "$1")
  convert "$shot_file" -crop "$4x$5+$((${origin% *} + $2))+$((${origin#* } + $3))" +repage -colorspace HSL \
    -channel G -separate +channel -threshold 50% -format '%[fx:round(mean*w*h)]' info:
}

# private_folders: the private folders in the places the program may make them.
private_folders() {
  find "$root/tmp" "$root/root/.cache" -maxdepth 1 -name 'setup-run-*' 2>/dev/null
}

# walk NAME DEST COMMAND: runs COMMAND in the root, walks the wizard (the disk
# change when a disk prompt appears), then checks the exit code, every file
# in the host folder DEST and that no private folder is left.
walk() {
  local name=$1 dest=$2 command=$3 setup_pid code=0
  cs_run "$root" sh -c "$command" >"$shots/$name-setup.log" 2>&1 &
  setup_pid=$!
  started+=("$setup_pid")
  wait_for wizard_window || { cat "$shots/$name-setup.log" >&2; exit 1; }
  sleep 1
  wizard=$(wizard_window)
  shot "$name-welcome"
  expect_text "$wizard" 144 16 297 233 "$name: welcome page"
  echo "$name: runs from $(private_folders | sed "s|^$root||")"
  # With /tmp noexec the launcher must have chosen the cache folder.
  [ "$name" != disks ] || private_folders | grep -q '/root/.cache/setup-run-' ||
    fail "disks: the program does not run from the cache folder"
  click_wizard $next_x $next_y
  shot "$name-destination"
  expect_text "$wizard" 136 16 305 128 "$name: destination page"
  click_wizard $next_x $next_y
  if [ "$name" = disks ]; then
    wait_for disk_prompt || { shot no-prompt; echo "FAIL: no disk prompt" >&2; exit 1; }
    sleep 0.5
    prompt=$(disk_prompt)
    shot disk-prompt
    read -r pw ph < <(xwininfo -id "$prompt" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w, h }')
    expect_text "$prompt" 0 0 "$pw" "$ph" "disk prompt"
    xdotool windowmove "$prompt" 20 20
    sleep 0.5
    shot installing
    # The first file spans the disks, so none is installed yet: the file label
    # is empty, no placeholder.
    local wx wy label_ink
    read -r wx wy < <(client_origin "$wizard")
    label_ink=$(dark_pixels "$shot_file" $((wx + 16)) $((wy + 32)) 420 14)
    [ "$label_ink" -lt 20 ] || fail "the file label shows text before a file is installed ($label_ink dark pixels)"
    [ "$(coloured_pixels "$wizard" 96 72 272 60)" -ge 200 ] || fail "the copy animation is not drawn"
    # The disk change: disk 1 out (not busy), disk 2 in at the same place.
    if cs_umount "$drive"; then
      echo "disk 1 unmounted while the prompt is shown"
    else
      fail "disk 1 is busy while the disk prompt is shown"
      cs_umount "$drive" 2>/dev/null || umount -l "$drive"
    fi
    insert_disk 2
    xdotool windowactivate --sync "$prompt" key Return
  fi
  for _ in $(seq 100); do [ "$(find "$dest" -type f 2>/dev/null | wc -l)" -ge 5 ] && break; sleep 0.1; done
  sleep 1
  shot "$name-finish"
  expect_text "$wizard" 152 16 289 49 "$name: finish page"
  click_wizard $next_x $next_y

  for _ in $(seq 100); do kill -0 "$setup_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$setup_pid" 2>/dev/null; then
    fail "$name: setup did not end after Finish"
  else
    wait "$setup_pid" || code=$?
    echo "$name: setup ended with exit code $code"
    [ "$code" -eq 0 ] || fail "$name: exit code $code"
  fi
  # Every payload file in its folder below the destination (the medium
  # keeps the tree), with its bytes, date and mode.
  while IFS= read -r -d '' file; do
    local relative=${file#"$payload"/}
    if [ ! -f "$dest/$relative" ]; then fail "$name: missing: $relative"; continue; fi
    cmp -s "$file" "$dest/$relative" || fail "$name: bytes differ: $relative"
    [ "$(stat -c %Y "$file")" = "$(stat -c %Y "$dest/$relative")" ] || fail "$name: date differs: $relative"
    [ "$(stat -c %a "$file")" = "$(stat -c %a "$dest/$relative")" ] || fail "$name: mode differs: $relative"
  done < <(find "$payload" -type f -print0)
  [ -z "$(private_folders)" ] || fail "$name: a private folder was left: $(private_folders)"
  grep -v '^QStandardPaths: XDG_RUNTIME_DIR' "$shots/$name-setup.log" >&2 || true
}

# ---- The one-file installer, downloaded whole and cut short ---------------
cp "$onefile" "$root/root/Downloads/setup.run"
head -c $(($(stat -c %s "$onefile") / 2)) "$onefile" >"$root/root/Downloads/cut.run"
chmod 755 "$root/root/Downloads/setup.run" "$root/root/Downloads/cut.run"
code=0
cs_run "$root" sh -c 'cd /root/Downloads && exec ./cut.run' >"$shots/cut.log" 2>&1 || code=$?
{ [ "$code" -eq 2 ] && grep -q 'cut short' "$shots/cut.log"; } || fail "the cut-short installer was not refused ($code): $(cat "$shots/cut.log")"
[ -z "$(private_folders)" ] || fail "the cut-short installer made a private folder"
walk one-file "$root/root/OneFile" 'cd /root/Downloads && exec ./setup.run'

# ---- The installation found and removed: record, menu entry, uninstaller --
installed=$root/root/OneFile
entry=$(find "$root/usr/local/share/applications" -name 'setup-test-app-*.desktop' 2>/dev/null)
{ [ -f "$installed/.install-record.json" ] && [ -x "$installed/uninstall" ]; } || fail "no install record or uninstaller in $installed"
if [ -z "$entry" ]; then
  fail "no menu entry in /usr/local/share/applications"
elif command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$entry" || fail "the menu entry does not validate"
fi
printf 'changed\n' >>"$installed/read me.txt"
printf 'mine\n' >"$installed/mine.txt"
code=0
cs_run "$root" /root/OneFile/uninstall --unattended --json >"$shots/uninstall.json" 2>&1 || code=$?
[ "$code" -eq 0 ] || fail "the uninstaller ended with $code: $(cat "$shots/uninstall.json")"
left=$(cd "$installed" 2>/dev/null && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./mine.txt ./read me.txt " ] || fail "the uninstaller left: $left"
[ -z "$entry" ] || [ ! -e "$entry" ] || fail "the uninstaller left the menu entry"

# ---- The one-file installer on Wayland, without an X server ---------------
# A headless Weston on the host, its socket bound into the root; the installer
# runs without DISPLAY. Nothing outside can click on Wayland, so the first
# page is photographed and the program ended: it must have loaded the Wayland
# plugin from its private folder, shown the wizard (its light face among the
# dark background) and removed the folder. The bare root has no EGL driver,
# so the windows have no frames there.
wayland_walk() {
  local sockets=$cs_work/wayland pid="" program="" light code=0
  mkdir -m 700 "$sockets"
  XDG_RUNTIME_DIR=$sockets weston --backend=headless-backend.so --use-pixman --debug --idle-time=0 \
    --width=1280 --height=1024 --socket=wayland-walk >"$shots/weston.log" 2>&1 &
  started+=($!)
  for _ in $(seq 100); do [ -S "$sockets/wayland-walk" ] && break; sleep 0.1; done
  [ -S "$sockets/wayland-walk" ] || { fail "wayland: weston did not start: $(tail -2 "$shots/weston.log")"; return; }
  mkdir -p "$root/run/wayland"
  cs_mount --bind "$sockets" "$root/run/wayland"
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 TZ="$TZ" \
    WAYLAND_DISPLAY=/run/wayland/wayland-walk sh -c 'cd /root/Downloads && exec ./setup.run' \
    >"$shots/wayland-setup.log" 2>&1 &
  pid=$!
  started+=("$pid")
  # The program's window process: a child of the started one, which waits to
  # remove the private folder.
  for _ in $(seq 200); do
    program=$(pgrep -P "$pid" | head -1 || true)
    [ -n "$program" ] && grep -q '/plugins/platforms/libqwayland-generic.so' "/proc/$program/maps" 2>/dev/null && break
    program=""
    sleep 0.1
  done
  if [ -z "$program" ]; then
    fail "wayland: the program did not start on Wayland: $(cat "$shots/wayland-setup.log")"
  else
    grep -q '/plugins/platforms/libqxcb.so' "/proc/$program/maps" && fail "wayland: the X11 plugin is loaded too"
    sleep 2
    shot_number=$((shot_number + 1))
    shot_file=$(printf '%s/%02d-%s.png' "$shots" "$shot_number" wayland-welcome)
    (cd "$sockets" && XDG_RUNTIME_DIR=$sockets WAYLAND_DISPLAY=wayland-walk weston-screenshooter) &&
      mv "$sockets"/wayland-screenshot-*.png "$shot_file" && echo "screenshot: $shot_file"
    light=$(convert "$shot_file" -colorspace Gray -threshold 80% -format '%[fx:round(mean*w*h)]' info: 2>/dev/null || echo 0)
    [ "$light" -ge 50000 ] || fail "wayland: no wizard on the screen ($light light pixels) in $shot_file"
  fi
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || code=$?
  echo "wayland: the program ran on Wayland and ended on SIGTERM ($code)"
  for _ in $(seq 50); do [ -z "$(private_folders)" ] && break; sleep 0.1; done
  [ -z "$(private_folders)" ] || fail "wayland: a private folder was left: $(private_folders)"
  grep -v '^QStandardPaths: XDG_RUNTIME_DIR' "$shots/wayland-setup.log" >&2 || true
}
if command -v weston >/dev/null && command -v weston-screenshooter >/dev/null; then
  wayland_walk
else
  echo "one-file installer on Wayland: not run, weston is not installed (scripts/install-deps.sh)"
fi

# ---- The two disks, with /tmp where nothing may be run --------------------
cs_umount "$root/tmp/.X11-unix"
cs_mount -t tmpfs -o noexec,nosuid,mode=1777 noexec-tmp "$root/tmp" || cs_skip "mounting a tmpfs is refused here"
mkdir -p "$root/tmp/.X11-unix"
cs_mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
insert_disk 1
walk disks "$root/root/Installed" 'cd /media/cdrom && exec ./setup'

echo "screenshots in $shots"
[ "$failures" -eq 0 ] && echo "clean-system walk passed" && exit 0
exit 1
