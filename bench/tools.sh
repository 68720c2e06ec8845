# shellcheck shell=bash
# Sourced by the benchmarks: install_missing COMMAND:PACKAGE... installs with
# apt-get the packages whose command is missing.
install_missing() {
  local need=() pair sudo=""
  for pair in "$@"; do
    command -v "${pair%%:*}" >/dev/null || need+=("${pair#*:}")
  done
  [ ${#need[@]} -gt 0 ] || return 0
  echo "Installing the benchmark's tools: ${need[*]}" >&2
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >&2
}
