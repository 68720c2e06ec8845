# shellcheck shell=bash
# Sourced by the clean-system tests: a throwaway copy of the cached bare
# Debian 12 root, mounts into it, commands run inside it, and a cleanup that
# undoes all of it however the test ends.
#
#   cs_init WORKDIR      remember the scratch folder; installs the EXIT trap
#   cs_make_root DIR     copy of the cached root (exits 77 when impossible)
#   cs_mount ARGS... DIR mount, remembered for the cleanup
#   cs_umount DIR        unmount now (fails when busy), forgotten afterwards
#   cs_bind_system ROOT  /proc, /dev and the X socket folder inside ROOT
#   cs_run ROOT CMD...   CMD in ROOT with a clean environment (DISPLAY, TZ kept)
#   cs_skip MESSAGE      exits 77 (skipped) with the reason
#
# Other cleanup steps: add commands to the array cs_on_exit; pids of
# background processes to the array `started` (ended first).

cs_mounts=()
cs_on_exit=()
started=()
cs_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

cs_skip() {
  echo "SKIPPED: $*" >&2
  exit 77
}

cs_cleanup() {
  local status=$? i
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do kill "${started[i]}" 2>/dev/null || true; done
  # Processes left inside the root keep its mounts busy.
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    for _ in $(seq 30); do kill -0 "${started[i]}" 2>/dev/null || break; sleep 0.1; done
  done
  for ((i = ${#cs_mounts[@]} - 1; i >= 0; i--)); do
    umount "${cs_mounts[i]}" 2>/dev/null || umount -l "${cs_mounts[i]}" 2>/dev/null || true
  done
  for ((i = ${#cs_on_exit[@]} - 1; i >= 0; i--)); do eval "${cs_on_exit[i]}" || true; done
  exit "$status"
}

cs_init() {
  [ "$(id -u)" -eq 0 ] || cs_skip "the clean-system test needs root (chroot, mount)"
  cs_work=$1
  mkdir -p "$cs_work"
  trap cs_cleanup EXIT
  trap 'exit 130' INT TERM
}

cs_make_root() {
  local status=0
  bash "$cs_repo/scripts/clean-root.sh" --copy "$1" >/dev/null || status=$?
  [ "$status" -eq 77 ] && cs_skip "no bare Debian root can be made here"
  [ "$status" -eq 0 ] || { echo "clean-root.sh failed ($status)" >&2; exit 1; }
  cs_on_exit+=("rm -rf '$1'")
}

cs_mount() {
  local target=${!#}
  mount "$@" || return 1
  cs_mounts+=("$target")
}

cs_umount() {
  umount "$1" || return 1
  local kept=() m
  for m in "${cs_mounts[@]}"; do [ "$m" = "$1" ] || kept+=("$m"); done
  cs_mounts=("${kept[@]}")
}

cs_bind_system() {
  local root=$1
  cs_mount -t proc proc "$root/proc" || cs_skip "mounting /proc is refused here"
  cs_mount --bind /dev "$root/dev" || cs_skip "bind mounts are refused here"
  mkdir -p "$root/tmp/.X11-unix"
  cs_mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
}

cs_run() {
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    ${DISPLAY:+DISPLAY=$DISPLAY} ${TZ:+TZ=$TZ} "$@"
}
