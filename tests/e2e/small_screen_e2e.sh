#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real window on a screen smaller than it, under openbox: the whole
# window, frame included, lies on the screen, the floor of the well shows,
# and a game started from the keyboard plays. The screen at the end of the
# game's first seconds is left in <shot-dir>/<size>.png when a folder is named.
#   small_screen_e2e.sh <build-dir> <WIDTHxHEIGHT> [shot-dir]
set -euo pipefail
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
build=$(cd "$1" && pwd)
size=$2
shots=${3:-}
work=$(mktemp -d)
trap 'kill "${game:-}" "${wm:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "$size: $*"; exit 1; }

start_virtual_display "$size"
start_window_manager
export SDL_AUDIODRIVER=dummy
(cd "$work" && exec "$build/zonbeli") 2>"$work/stderr" &
game=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zonbeli$' | sed -n 1p) ||
  fail "no window came up: $(cat "$work/stderr")"
timeout 20 xdotool windowactivate --sync "$window" || fail "the window could not be activated"
sleep 0.3

screen_width=${size%x*}
screen_height=${size#*x}
eval "$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print "X=" $4}
  /Absolute upper-left Y/ {print "Y=" $4} /Width:/ {print "WIDTH=" $2} /Height:/ {print "HEIGHT=" $2}')"
extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.* = //p')
IFS=', ' read -r left right top bottom <<<"$extents"
if [ $((X - left)) -lt 0 ] || [ $((Y - top)) -lt 0 ] ||
  [ $((X + WIDTH + right)) -gt "$screen_width" ] || [ $((Y + HEIGHT + bottom)) -gt "$screen_height" ]; then
  fail "the window ${WIDTH}x$HEIGHT at ($X, $Y), frame $extents, is not all on the screen"
fi

# The surface is shown WIDTH/678 of its size under the menu bar; its last
# rows are the wooden floor of the well, its right part the score panel.
at() { awk -v v="$1" -v w="$WIDTH" 'BEGIN { printf "%d", v * w / 678 }'; }
bar=$((HEIGHT - $(at 606)))
screen() { import -window root "$work/screen.png"; }
pixel() { convert "$work/screen.png" -format "%[fx:int(255*p{$1,$2}.r)] %[fx:int(255*p{$1,$2}.g)]" info:; }
screen
read -r red green <<<"$(pixel $((X + $(at 200))) $((Y + bar + $(at 596))))"
if [ "$red" -le 100 ] || [ "$red" -le "$green" ]; then
  fail "no wooden floor at the bottom of the well ($red, $green)"
fi
read -r red green <<<"$(pixel $((X + $(at 650))) $((Y + bar + $(at 500))))"
if [ "$red" -ne 0 ] || [ "$green" -ne 128 ]; then
  fail "the score panel's green is not on the screen ($red, $green)"
fi

well() {
  screen
  convert "$work/screen.png" -crop "$(at 385)x$(at 520)+$((X + $(at 42)))+$((Y + bar + $(at 57)))" \
    +repage -depth 8 rgb:- | md5sum
}
xdotool key F10; sleep 0.4
xdotool key Return; sleep 0.5
first=$(well)
xdotool keydown Down; sleep 3; xdotool keyup Down
[ "$(well)" != "$first" ] || fail "no stone fell in the game"
if [ -n "$shots" ]; then mkdir -p "$shots"; cp "$work/screen.png" "$shots/$size.png"; fi
xdotool key Escape
expect_quit 0 || fail "Escape did not end the game: $(cat "$work/stderr")"
echo "$size: ok"
