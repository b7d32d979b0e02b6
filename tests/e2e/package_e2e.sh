#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package from a copy of the source tree with
# dpkg-buildpackage (which must leave no file that git would pick up),
# checks it with lintian (no error, no warning), lists
# what it installs, unpacks it with dpkg -x into a temporary root and starts
# the unpacked game from / under a virtual X server: it must find its
# private sound library and its sounds there (the music reaches the disk
# audio driver). --help, --version and a bad argument are tried without a
# display.
#   package_e2e.sh <source-dir>
# Set ZONBELI_PACKAGE_OUT to a folder to keep the package and the reports.
set -euo pipefail
here=$(dirname "$0")
source "$here/lib.sh"
source "$here/installed_game.sh"
top=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'kill "${game:-}" 2>/dev/null || true; kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

# dpkg-buildpackage builds inside the tree and writes beside it, so it gets
# a clean copy: no build trees, no repository, nothing a developer left.
src=$work/src/zonbeli
mkdir -p "$src"
tar -C "$top" --exclude='./build*' --exclude='./obj-*' --exclude=./.git --exclude=./Testing \
  --exclude=./debian/zonbeli --exclude=./debian/.debhelper --exclude=./debian/files \
  --exclude='./debian/*.substvars' --exclude=./debian/debhelper-build-stamp -cf - . | tar -C "$src" -xf -
# A repository of the copy shows whether the build leaves anything behind
# that the ignore files do not cover.
git -C "$src" init -q && git -C "$src" add -A &&
  git -C "$src" -c user.name=test -c user.email=test@localhost commit -qm copy
if ! (cd "$src" && dpkg-buildpackage -us -uc -b) >"$work/build.log" 2>&1; then
  tail -40 "$work/build.log"; echo "dpkg-buildpackage failed"; exit 1
fi
junk=$(git -C "$src" status --porcelain)
[ -z "$junk" ] || { echo "the package build leaves files git would pick up:"; echo "$junk"; exit 1; }
deb=$(ls "$work"/src/zonbeli_1.0*_"$(dpkg --print-architecture)".deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

lintian --display-info --fail-on error,warning "$deb" >"$work/lintian.txt" 2>"$work/lintian.err" ||
  { cat "$work/lintian.txt" "$work/lintian.err"; echo "lintian found errors or warnings"; exit 1; }
echo "lintian:"; sed 's/^/  /' "$work/lintian.txt"
if grep -q '^[EW]:' "$work/lintian.txt"; then echo "lintian found errors or warnings"; exit 1; fi

dpkg-deb --contents "$deb" | awk '{print $6, $7, $8}' | sed 's|^\./|/|' >"$work/contents.txt"
for f in /usr/games/zonbeli /usr/share/games/zonbeli/sounds/BGM.wav /usr/share/man/man6/zonbeli.6.gz \
         /usr/share/applications/org.zonbeli.zonbeli.desktop /usr/share/metainfo/org.zonbeli.zonbeli.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/zonbeli.svg /usr/share/doc/zonbeli/copyright; do
  grep -q "^$f\( \|$\)" "$work/contents.txt" || { echo "not in the package: $f"; cat "$work/contents.txt"; exit 1; }
done
depends=$(dpkg-deb --field "$deb" Depends)
grep -q 'fonts-ipafont-mincho' <<<"$depends" || { echo "Depends lacks the font: $depends"; exit 1; }
echo "Depends: $depends"

root=$work/root
dpkg -x "$deb" "$root"
check_desktop_metadata "$root/usr/share"
program=$root/usr/games/zonbeli
(
  cd /
  unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
  [ "$("$program" --version)" = "zonbeli 1.0.0" ] || { echo "--version is wrong"; exit 1; }
  "$program" --help | grep -q 'Esc' || { echo "--help lists no keys"; exit 1; }
  status=0; "$program" --no-such-option >/dev/null 2>"$work/usage.txt" || status=$?
  { [ "$status" -eq 2 ] && grep -q 'Usage' "$work/usage.txt"; } || { echo "a bad argument gave status $status"; exit 1; }
)

start_virtual_display
check_installed_game "$program" / "$work" "$root/usr/lib/"

if [ -n "${ZONBELI_PACKAGE_OUT:-}" ]; then
  mkdir -p "$ZONBELI_PACKAGE_OUT"
  cp "$deb" "$work/lintian.txt" "$work/contents.txt" "$ZONBELI_PACKAGE_OUT"/
fi
echo "package: ok"
