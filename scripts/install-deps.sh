#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# any of them is missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
  cmake g++ make pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-wayland libgl-dev
  libgtest-dev zlib1g-dev libdeflate-dev libzstd-dev libelf-dev
  libssl-dev nettle-dev libsodium-dev nlohmann-json3-dev
  clang libclang-rt-14-dev
  clang-format clang-tidy shellcheck  # scripts/lint.sh
  xvfb xdotool x11-utils x11-apps imagemagick openbox weston
  dbus-daemon at-spi2-core python3-pyatspi
  fonts-liberation2 fonts-dejavu-core
  zip unzip
  minisign  # checks signed media by hand in the tests
  debootstrap xorriso dpkg-dev file
  desktop-file-utils  # desktop-file-validate and update-desktop-database: menu entries
  shared-mime-info xdg-utils libfile-mimeinfo-perl  # a medium's file types, asked as a desktop does
  ansible-core  # runs the fleet example of docs/unattended.md (8 small packages)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
