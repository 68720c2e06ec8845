#!/usr/bin/env bash
# make demo: installs missing packages, builds, packs a demo medium and a
# one-file installer (build/demo/setup.run) with setupkit and starts the
# setup program from the medium. With a display the program simply runs
# there. Without one it runs on a virtual display (Xvfb with the openbox
# window manager), the wizard is walked through from the medium and then from
# the one-file installer, and screenshots land in build/demo/.
#
# Environment: BUILD_DIR (default build), DEMO_VOLUME_SIZE (default 700K).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_DIR:-build}
demo=$build/demo
medium=$demo/medium

bash scripts/install-deps.sh
# Only what the demo runs: the setup program and the authoring tool.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target setup setup-launcher setup-uninstall setupkit

rm -rf "$demo"
mkdir -p "$demo"
bash scripts/make-demo-payload.sh "$demo/payload"

# The proposed destination: a folder in the user's home, in Windows form.
home_windows="C:$(printf '%s' "$HOME" | tr '/' '\\')"
dest="${home_windows%\\}\\DemoApp"
dest_one="${home_windows%\\}\\DemoApp (one file)"
title="Demo Office 2000"
app="Demo Office"
# The menu entry the installation adds: names below the destination as the
# tree is installed. bin/demo is the payload's program that runs; its sheets
# (*.dsh) open with it.
menu=(--menu-name "$app" --menu-exec bin/demo --menu-icon images/demo.png --menu-categories 'Office;Spreadsheet'
  --menu-mime 'application/x-demo-sheet=*.dsh')

if [ -x "$build/tools/setupkit" ]; then
  "$build/tools/setupkit" medium -o "$medium" --title "$title" --app "$app" --dest "$dest" \
    --volume-size "${DEMO_VOLUME_SIZE:-700K}" --program "$build/app/setup" "${menu[@]}" "$demo/payload"
  "$build/tools/setupkit" medium --single-file "$demo/setup.run" --title "$title" --app "$app" --dest "$dest_one" \
    --program "$build/app/setup" "${menu[@]}" "$demo/payload"
else
  # Without the authoring tool: the program and its configuration only.
  echo "setupkit not built: the medium has no archive"
  mkdir -p "$medium"
  cp "$build/app/setup" "$medium/setup"
  printf '[Setup]\r\nTitle=%s\r\nApp=%s\r\nDestDir=%s\r\n' "$title" "$app" "$dest" > "$medium/SETUP.INS"
fi
# shellcheck disable=SC2012  # names shown to a person, not parsed
echo "medium: $(ls "$medium" | tr '\n' ' ')"
echo "destination: $dest"

if [ -n "${DISPLAY:-}" ]; then
  (cd "$medium" && ./setup)
  exit $?
fi

# ---- No display: a virtual one, a window manager, and screenshots ----------
started=()
shots=$demo
source scripts/x-walk.sh
trap stop_started EXIT
start_virtual_display "$demo"

# The steps through the wizard, one screenshot per page and one of the disk
# prompt. The installation stops at the prompt, which is where the Installing
# page is photographed (with the prompt moved aside); the next volume is
# already on the medium, so Enter (OK) lets it go on to the Finish page. The
# one-file installer holds one volume: no prompt.
walk_wizard() {
  local name=$1
  shot "$name-welcome"
  click_wizard $next_x $next_y
  shot "$name-destination"
  click_wizard $next_x $next_y
  if [ "$name" = medium ] && wait_for disk_prompt; then
    sleep 0.5
    shot disk-prompt
    local prompt
    prompt=$(disk_prompt)
    xdotool windowmove "$prompt" 20 20
    sleep 0.5
    shot installing
    xdotool windowactivate --sync "$prompt" key Return
  elif [ "$name" = medium ]; then
    echo "no disk prompt appeared" >&2
    shot installing
  fi
  sleep 2
  shot "$name-finish"
  click_wizard $next_x $next_y   # Finish ends the program
}

host_path() { printf '%s' "${1#C:}" | tr '\\' '/'; }
status=0
# run_walk NAME DIR COMMAND DEST: starts COMMAND in DIR, walks the wizard,
# checks the exit code and the destination DEST (Windows form).
run_walk() {
  local name=$1 dir=$2 command=$3 dest_host setup_pid code=0
  dest_host=$(host_path "$4")
  (cd "$dir" && exec $command) >"$demo/$name.log" 2>&1 &
  setup_pid=$!
  started+=("$setup_pid")
  wait_for wizard_window
  sleep 0.5
  walk_wizard "$name"

  # Should the walk have left it running: the main window's close command (Alt+F4).
  for _ in $(seq 50); do kill -0 "$setup_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$setup_pid" 2>/dev/null; then
    echo "setup did not end after Finish" >&2
    status=1
    xdotool windowactivate --sync "$(main_window)" key alt+F4 || true
    for _ in $(seq 50); do kill -0 "$setup_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  if kill -0 "$setup_pid" 2>/dev/null; then
    echo "setup did not end" >&2
    status=1
  else
    wait "$setup_pid" || code=$?
    echo "$name: setup ended with exit code $code"
    [ "$code" -eq 0 ] || status=1
  fi

  # The payload's tree landed below the destination: every file with its
  # bytes, the link, the empty folder, and the program runs from there.
  local missing=0 differ=0 relative
  while IFS= read -r relative; do
    [ -f "$dest_host/$relative" ] || { missing=$((missing + 1)); continue; }
    cmp -s "$demo/payload/$relative" "$dest_host/$relative" || differ=$((differ + 1))
  done < <(cd "$demo/payload" && find . -type f -printf '%P\n')
  echo "$name: destination $dest_host: $(find "$dest_host" -type f | wc -l) files, $missing missing, $differ differ"
  [ "$missing" -eq 0 ] && [ "$differ" -eq 0 ] || status=1
  local said
  said=$("$dest_host/demo" 2>&1) || true
  echo "$name: $dest_host/demo says: $said"
  { [ -L "$dest_host/demo" ] && [ "$said" = "Demo Office runs from $(cd "$dest_host" && pwd -P)" ]; } || {
    echo "$name: the installed program does not run from the destination" >&2
    status=1
  }
  [ -d "$dest_host/plugins/user" ] || { echo "$name: the empty folder plugins/user is missing" >&2; status=1; }
}

run_walk medium "$medium" ./setup "$dest"
if [ -x "$demo/setup.run" ]; then run_walk one-file "$demo" ./setup.run "$dest_one"; fi
echo "screenshots in $root/$demo"
exit "$status"
