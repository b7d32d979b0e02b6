#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real window under a window manager (openbox on a virtual X server),
# driven as a player and the desktop would drive it. One case per run:
#   menu_keys     a menu opened with the mouse and closed with Escape hands
#                 every key back: ↓ drops the trio, Escape ends the game
#   menu_release  ↓ let go while a menu is open ends the fast fall
#   destroyed     the window destroyed by another program ends the game
#                 as closing it does
#   frame         the window's frame, title bar included, lies at (0, 0)
#   menu_colours  the menu bar is not painted in the window's green
#   lost_display  the X server going away is said in one line
#   window_manager_e2e.sh <build-dir> <case>
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "$1" && pwd)
case=$2
work=$(mktemp -d)
trap 'kill "${game:-}" "${wm:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "$case: $*"; exit 1; }

start_virtual_display
start_window_manager
export SDL_AUDIODRIVER=dummy
(cd "$work" && exec "$build/zonbeli") 2>"$work/stderr" &
game=$!
find_game_window 0 || fail "no window: $(cat "$work/stderr")"
timeout 20 xdotool windowactivate --sync "$window" || fail "the window could not be activated"
sleep 0.3
measure_window
score() {
  import -window "$window" "$work/shot.png"
  convert "$work/shot.png" -crop "80x30+515+$((418 + bar))" +repage -depth 8 rgb:- | md5sum
}
expect_end() { expect_quit "$1" || fail "$(cat "$work/stderr")"; }

case $case in
  menu_keys)
    choose_start
    before=$(score)
    open_game_menu; sleep 0.4
    xdotool key Escape; sleep 0.3
    xdotool keydown Down; sleep 1.5; xdotool keyup Down; sleep 0.2
    [ "$(score)" != "$before" ] || fail "↓ did not reach the game after the menu closed"
    xdotool key Escape
    expect_end 0
    ;;
  menu_release)
    choose_start
    before=$(score)
    # One xdotool run: the trio lands 0.44 s after ↓ goes down.
    xdotool keydown Down mousemove $((X + 25)) $((Y + bar / 2)) click 1 sleep 0.15 keyup Down
    sleep 2
    after=$(score)
    xdotool key Escape
    [ "$after" = "$before" ] || fail "the trio kept falling fast after ↓ came up in the menu"
    ;;
  destroyed)
    xdotool windowclose "$window"
    expect_end 0
    ;;
  frame)
    extents=$(xprop -id "$window" _NET_FRAME_EXTENTS | sed -n 's/.* = //p')
    IFS=', ' read -r left _ top _ <<<"$extents"
    [ "${top:-0}" -gt 0 ] || fail "openbox gave the window no title bar ($extents)"
    [ "$((X - left)),$((Y - top))" = "0,0" ] ||
      fail "the frame's corner is at ($((X - left)), $((Y - top))), not (0, 0)"
    ;;
  menu_colours)
    import -window "$window" "$work/shot.png"
    colour=$(convert "$work/shot.png" -format '%[pixel:p{300,5}]' info:)
    [ "$colour" != "srgb(0,128,0)" ] || fail "the menu bar is painted in the window's green"
    ;;
  lost_display)
    kill "$xvfb"
    status=0
    wait "$game" || status=$?
    game=
    [ "$status" -ne 0 ] || fail "exit status 0 after the display went away"
    { [ "$(wc -l <"$work/stderr")" -eq 1 ] && grep -q 'lost the connection to the display' "$work/stderr"; } ||
      fail "not one line about the lost display: '$(cat "$work/stderr")'"
    ;;
  *) fail "no such case" ;;
esac
echo "$case: ok"
