#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The CMake install in the default layout, staged with DESTDIR and moved to
# another place: the moved program, started from another folder under a
# virtual X server, finds its private sound library and its sounds (music
# switched on from the menu reaches the disk audio driver) and "終了" ends
# it with status 0. The sound library sits in its own folder without a
# development link, and only the program carries a RUNPATH. Then an install
# with --prefix followed by the uninstall target leaves no file behind.
#   install_e2e.sh <build-dir>
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
source "$here/installed_game.sh"
build=$1
work=$(mktemp -d)
trap 'kill "${game:-}" 2>/dev/null || true; kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR=$work/stage cmake --install "$build" >/dev/null
mv "$work/stage$prefix" "$work/moved"
rm -rf "$work/stage"
moved=$work/moved
for f in bin/zonbeli share/applications/org.zonbeli.zonbeli.desktop share/man/man6/zonbeli.6 \
         share/zonbeli/sounds/BGM.wav share/zonbeli/sounds/石着地.wav; do
  [ -e "$moved/$f" ] || { echo "not installed: $f"; exit 1; }
done
library=$(ls "$moved"/lib*/zonbeli/libzonbeli_sound.so.0)
if ls "$moved"/lib*/zonbeli/libzonbeli_sound.so "$moved"/lib*/libzonbeli_sound* >/dev/null 2>&1; then
  echo "the sound library is installed as a public or development library"; exit 1
fi
readelf -d "$moved/bin/zonbeli" | grep -q "RUNPATH.*[$]ORIGIN/" || { echo "the program has no \$ORIGIN RUNPATH"; exit 1; }
if readelf -d "$library" | grep -q 'R.*PATH'; then echo "the sound library carries a search path"; exit 1; fi
check_desktop_metadata "$moved/share"

start_virtual_display
mkdir "$work/elsewhere"
check_installed_game "$moved/bin/zonbeli" "$work/elsewhere" "$work" "$moved/lib"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake --build "$build" --target uninstall >/dev/null
left=$(find "$work/prefix" ! -type d)
[ -z "$left" ] || { echo "left behind after uninstall:"; echo "$left"; exit 1; }
if find "$work/prefix" -type d -name zonbeli | grep -q .; then
  echo "the game's own folders are left after uninstall"; exit 1
fi
echo "install, move, music and uninstall: ok"
