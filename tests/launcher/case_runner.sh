# shellcheck shell=bash
# Sourced by the launcher's case scripts (unattended.sh, signed.sh). A script
# defines make_media, which builds what its cases share into the current
# folder, and one function case_NAME per case, then calls run_step. CTest
# registers every case_NAME it finds in the script as a test of its own:
#
#   SCRIPT SETUPKIT WORKDIR media   builds the media once into WORKDIR/media
#   SCRIPT SETUPKIT WORKDIR NAME    runs case NAME in WORKDIR/NAME against them
#
# Each step runs in a folder of its own with its own TMPDIR, HOME and cache
# (every place the launcher could make its private folder), so cases may run
# side by side, and a private folder left behind is the case's own. A case
# ends with status 0 when all its checks hold, 1 when one failed, 77 when it
# cannot run here.
set -uo pipefail
# shellcheck disable=SC2034  # setupkit is for the scripts that source this file
setupkit=$(realpath "$1")
work=$(realpath -m "$2")
step=$3
media=$work/media

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# expect STATUS NAME COMMAND...: the command's exit status, its output in out/err.
expect() {
  local want=$1 name=$2
  shift 2
  "$@" >out 2>err
  local got=$?
  [ "$got" -eq "$want" ] || { fail "$name: status $got, expected $want"; cat out err >&2; }
}
skip() {
  echo "SKIPPED: $*" >&2
  exit 77
}

# A fresh folder for the step, with the launcher's places inside it.
enter() {
  rm -rf "$1"
  mkdir -p "$1/tmp" "$1/home"
  cd "$1" || exit 1
  export TMPDIR=$1/tmp HOME=$1/home XDG_CACHE_HOME=$1/home/.cache
  unset XDG_RUNTIME_DIR DISPLAY WAYLAND_DISPLAY
}

finish() {
  local leftover
  leftover=$(find tmp home -name 'setup-run-*' | head -1)
  [ -z "$leftover" ] || fail "a private folder was left: $leftover"
  [ "$failures" -eq 0 ] && echo "$step: passed"
  exit $((failures > 0))
}

run_step() {
  if [ "$step" = media ]; then
    enter "$media"
    make_media || { echo "cannot make the media" >&2; exit 1; }
    finish
  fi
  declare -F "case_$step" >/dev/null || { echo "no case named $step" >&2; exit 64; }
  [ -d "$media" ] || { echo "no media in $media: run the step 'media' first" >&2; exit 1; }
  enter "$work/$step"
  "case_$step"
  finish
}
