#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the sound synthesiser and writes the game's ten WAV files into assets/sounds.
#   assets/make_sounds.sh [output folder=assets/sounds]
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
out="${1:-$here/sounds}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The sounds' levels are measured with libebur128.
read -ra ebur128 <<<"$(pkg-config --cflags --libs libebur128)"
"${CXX:-g++}" -std=c++20 -O2 -Wall -Wextra -I "$root/game" -I "$root/tools" -o "$work/make_sounds" \
  "$root/tools/make_sounds.cpp" "$root/tools/loudness.cpp" "${ebur128[@]}"
"$work/make_sounds" "$out"
