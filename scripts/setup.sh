#!/usr/bin/env bash
# Installs what is missing, then configures and builds Zonbeli.
#   scripts/setup.sh [game|test] [build-dir] [extra cmake options...]
set -euo pipefail

purpose=${1:-game}
build=${2:-build}
shift $(( $# > 2 ? 2 : $# ))
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake g++ ninja-build pkg-config qt6-base-dev libsdl2-mixer-dev fonts-ipafont-mincho
          libgtest-dev libbenchmark-dev)
if [ "$purpose" = test ]; then
  packages+=(xvfb xauth x11-utils xdotool imagemagick desktop-file-utils appstream python3 clang
             libclang-rt-14-dev sox)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

cmake -S "$top" -B "$top/$build" -G Ninja "$@"
cmake --build "$top/$build" -j "$(nproc)"
