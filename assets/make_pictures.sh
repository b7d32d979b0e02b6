#!/bin/sh
# SPDX-License-Identifier: MIT
# Rebuilds the picture generator and redraws every picture into assets/pictures
# and the installed icons into assets/icons.
# Needs g++, Qt 6 (QtGui), fonts-ipafont-mincho and fonts-urw-base35.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${BUILD_DIR:-$(mktemp -d)}
# shellcheck disable=SC2046 # pkg-config's flags are words of their own
g++ -std=c++20 -O1 -fPIC "$here/../tools/make_pictures.cpp" \
  $(pkg-config --cflags --libs Qt6Gui) -o "$build/make_pictures"
QT_QPA_PLATFORM=offscreen "$build/make_pictures" "$here/pictures" "$here/icons"
