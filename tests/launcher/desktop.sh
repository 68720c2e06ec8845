#!/usr/bin/env bash
# The one-file installer on a desktop, started as a double click starts it:
# a display and no terminal (standard input and error not a terminal).
#   1. Cut short, it is refused with status 2 and says so in a window (a
#      dialog program of the system), not only on standard error.
#   2. Whole, the wizard installs; the run leaves nothing in the user's home
#      but the installation (no font cache or other cache in ~/.cache).
#
#   desktop.sh SETUPKIT SETUP OUTDIR
# Environment: WALK_DISPLAY, the first display number tried (default 120).
set -euo pipefail
setupkit=${1:?usage: desktop.sh SETUPKIT SETUP OUTDIR}
program=${2:?usage: desktop.sh SETUPKIT SETUP OUTDIR}
out=${3:?usage: desktop.sh SETUPKIT SETUP OUTDIR}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

for tool in Xvfb openbox xdotool xwininfo import; do
  command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
[ -x /usr/bin/zenity ] || [ -x /usr/bin/kdialog ] || [ -x /usr/bin/xmessage ] ||
  { echo "no dialog program (zenity, kdialog, xmessage): scripts/install-deps.sh installs xmessage" >&2; exit 1; }

rm -rf "$out"
mkdir -p "$out/payload/bin" "$out/home"
out=$(cd "$out" && pwd)
setupkit=$(cd "$(dirname "$setupkit")" && pwd)/$(basename "$setupkit")
program=$(cd "$(dirname "$program")" && pwd)/$(basename "$program")
shots=$out
printf '#!/bin/sh\necho app\n' >"$out/payload/bin/app"
chmod 0755 "$out/payload/bin/app"
head -c 200000 /dev/urandom >"$out/payload/data.bin"
printf 'Read me.\r\n' >"$out/payload/readme.txt"

started=()
source "$root/scripts/x-walk.sh"
trap stop_started EXIT
start_virtual_display "$out" "${WALK_DISPLAY:-120}"

fail() { echo "FAIL: $*" >&2; exit 1; }

dest=$out/home/App
SETUPKIT_RUNTIME_LEVEL=${SETUPKIT_RUNTIME_LEVEL:-3} "$setupkit" medium --single-file "$out/setup.run" \
  --program "$program" --title "Desktop Test" --app "Desktop Test" \
  --dest "C:$(printf '%s' "$dest" | tr '/' '\\')" "$out/payload" >"$out/medium.log" 2>&1 ||
  fail "setupkit medium: $(cat "$out/medium.log")"

# The windows whose title is exactly NAME.
windows_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; }

# ---- 1. Cut short: a window says so, the status stays 2 ---------------------
size=$(stat -c %s "$out/setup.run")
head -c $((size / 2)) "$out/setup.run" >"$out/cut.run"
chmod 0755 "$out/cut.run"
windows_before=$(windows_named Setup | wc -l)
(cd "$out" && exec ./cut.run </dev/null >"$out/cut.out" 2>"$out/cut.err") &
cut_pid=$!
started+=("$cut_pid")
window=
for _ in $(seq 100); do
  window=$(windows_named Setup | head -1)
  [ -n "$window" ] && break
  kill -0 "$cut_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$window" ] || [ "$windows_before" -ne 0 ]; then
  kill "$cut_pid" 2>/dev/null || true
  fail "no window told of the cut-short installer; it said: $(cat "$out/cut.err")"
fi
xwininfo -id "$window" | grep -q 'Map State: IsViewable' || fail "the refusal's window is not shown"
shot refusal
# The launcher waits for the window to be closed, then ends.
kill -0 "$cut_pid" 2>/dev/null || fail "the launcher did not wait for its window"
dialog=$(pgrep -P "$cut_pid" | head -1)
[ -n "$dialog" ] || fail "no dialog process under the launcher"
kill "$dialog"
code=0
wait "$cut_pid" || code=$?
[ "$code" -eq 2 ] || fail "the cut-short installer ended with $code, not 2: $(cat "$out/cut.err")"
grep -q 'cut short' "$out/cut.err" || fail "standard error does not say cut short: $(cat "$out/cut.err")"
echo "refusal: a window ($(xdotool getwindowname "$window" 2>/dev/null || echo closed)), status $code"

# ---- 2. The wizard leaves no cache in the user's home ---------------------
(cd "$out" && exec env -u XDG_CACHE_HOME -u XDG_RUNTIME_DIR HOME="$out/home" ./setup.run \
  </dev/null >"$out/wizard.out" 2>"$out/wizard.err") &
setup_pid=$!
started+=("$setup_pid")
wait_for wizard_window || fail "no wizard: $(cat "$out/wizard.err")"
sleep 0.5
shot welcome
click_wizard $next_x $next_y   # Welcome -> Destination
shot destination
click_wizard $next_x $next_y   # Destination -> Installing
sleep 2
shot finish
click_wizard $next_x $next_y   # Finish
for _ in $(seq 100); do kill -0 "$setup_pid" 2>/dev/null || break; sleep 0.1; done
code=0
wait "$setup_pid" || code=$?
[ "$code" -eq 0 ] || fail "the wizard ended with $code: $(cat "$out/wizard.err")"
cmp -s "$out/payload/data.bin" "$dest/data.bin" || fail "the payload did not land in $dest"
left=$(cd "$out/home" && find . -mindepth 1 -path ./App -prune -o -print | sort | tr '\n' ' ')
[ -z "$left" ] || fail "the wizard left in the home folder: $left"
echo "no trace: the home folder holds the installation only"
echo "1 passed, 0 failed"
