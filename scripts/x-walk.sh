# shellcheck shell=bash
# Sourced by scripts/demo.sh and the clean-system test: a virtual display
# with a window manager, screenshots, and the clicks that walk the setup
# wizard. The caller keeps the pids of what it starts in the array `started`
# and sets `shots` (the screenshot folder).

# start_virtual_display LOGDIR [FIRST]: Xvfb on the first free display from
# :FIRST (default 99) up, DISPLAY exported, then openbox on it.
start_virtual_display() {
  local logs=$1 number=${2:-99}
  while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done
  export DISPLAY=":$number"
  Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$logs/xvfb.log" 2>&1 &
  started+=($!)
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  openbox >"$logs/openbox.log" 2>&1 &
  started+=($!)
  sleep 1
}

# stop_started: ends what was started, last first.
stop_started() {
  local i
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do kill "${started[i]}" 2>/dev/null || true; done
}

shot_number=0
# shot NAME: a screenshot of the whole screen as $shots/NN-NAME.png; the file
# name is left in `shot_file`.
# shellcheck disable=SC2154  # shots is set by the script that sources this one
shot() {
  shot_number=$((shot_number + 1))
  shot_file=$(printf '%s/%02d-%s.png' "$shots" "$shot_number" "$1")
  import -window root "$shot_file"
  echo "screenshot: $shot_file"
}

# The visible windows captioned "Setup": the wizard is the one of 459 x 305
# client pixels, the background window the large one.
window_by_width() {  # window_by_width MIN MAX
  local id w
  for id in $(xdotool search --onlyvisible --name '^Setup$' 2>/dev/null); do
    w=$(xdotool getwindowgeometry "$id" | awk '/Geometry/ { split($2, g, "x"); print g[1] }')
    if [ "$w" -ge "$1" ] && [ "$w" -le "$2" ]; then echo "$id"; return 0; fi
  done
  return 1
}
wizard_window() { window_by_width 400 600; }
main_window() { window_by_width 1000 100000; }

# wait_for WHAT: waits up to 10 s until the command WHAT succeeds.
wait_for() {
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "timed out waiting for: $*" >&2
  return 1
}

# click_wizard X Y: a left click at client coordinates of the wizard.
click_wizard() {
  local id
  id=$(wizard_window)
  xdotool mousemove --window "$id" "$1" "$2" click 1
  sleep 0.5
}

# The component's disk prompt, a message box captioned "Information".
disk_prompt() { xdotool search --onlyvisible --name '^Information$' 2>/dev/null | head -1 | grep .; }

# Button centres in the wizard's client area.
# shellcheck disable=SC2034  # used by the scripts that source this one
next_x=333 next_y=284   # Next / Finish

# client_origin WINDOW: "X Y", the screen position of the window's client area.
client_origin() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } END { print x, y }'
}

# dark_pixels FILE X Y W H: how many pixels of that screen rectangle are dark
# (text drawn in black on the light dialog face).
dark_pixels() {
  convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace Gray -threshold 40% -negate \
    -format '%[fx:round(mean*w*h)]' info:
}
