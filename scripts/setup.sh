#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what is missing, then configures and builds Zonbeli.
#   scripts/setup.sh [game|test] [build-dir] [extra cmake options...]
set -euo pipefail

purpose=${1:-game}
build=${2:-build}
shift $(( $# > 2 ? 2 : $# ))
top=$(cd "$(dirname "$0")/.." && pwd)

# What building and playing the game needs; the tests need more, among them
# what builds and checks the Debian package.
packages=(cmake g++ ninja-build pkg-config qt6-base-dev qt6-wayland libxcb1-dev libfontconfig-dev
          libsdl2-dev fonts-ipafont-mincho)
if [ "$purpose" = test ]; then
  packages+=(libgtest-dev libbenchmark-dev xvfb xauth x11-utils xdotool imagemagick
             desktop-file-utils appstream python3 build-essential debhelper lintian git openbox
             weston lld libx11-dev libxext-dev libxtst-dev libxdamage-dev clang-format shellcheck
             libebur128-dev dbus-x11 pulseaudio pulseaudio-utils pipewire pipewire-pulse wireplumber dbus
             python3-numpy python3-xlib)
fi
"$top/scripts/install_packages.sh" "${packages[@]}"

cmake -S "$top" -B "$top/$build" -G Ninja "$@"
cmake --build "$top/$build" -j "$(nproc)"
