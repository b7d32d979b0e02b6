#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real window under a window manager (openbox on a virtual X server),
# driven as a player and the desktop would drive it. One case per run:
#   menu_keys     a menu opened with the mouse and closed with Escape hands
#                 every key back: ↓ drops the trio, Escape ends the game
#   menu_release  ↓ let go while a menu is open ends the fast fall
#   destroyed     the window destroyed by another program ends the game
#                 as closing it does
#   frame         the window's frame, title bar included, lies at (0, 0),
#                 and the window gives the desktop its 64-pixel icon
#   menu_colours  the menu bar is not painted in the window's green
#   lost_display  the X server going away is said in one line
#   keys_start    F10, Return starts a game from the keyboard: stones fall
#   keys_music    F10, →, Return switches the music on: the sound reaches
#                 SDL's disk driver
#   keys_escape   Escape in an open menu only closes it; the next one quits
#   keys_about    Alt let go alone marks the bar, → → Return reaches その他,
#                 and the keyboard is the game's again after its box
#   missing_font  without any Japanese font the game says once which
#                 package brings the one it draws with
#   window_manager_e2e.sh <build-dir> <case>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
build=$(cd "$1" && pwd)
case=$2
work=$(mktemp -d)
trap 'kill "${game:-}" "${wm:-}" "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
fail() { echo "$case: $*"; exit 1; }

start_virtual_display
start_window_manager
export SDL_AUDIODRIVER=dummy
case $case in
  keys_music) export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/played.raw ;;
  missing_font) export FONTCONFIG_FILE=$here/../fonts/without-japanese.conf ;;
esac
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
well() {
  import -window "$window" "$work/shot.png"
  convert "$work/shot.png" -crop "385x490+42+$((57 + bar))" +repage -depth 8 rgb:- | md5sum
}
# Where the first menu opens, under the bar; the bar's captions.
menu_area() {
  import -window "$window" "$work/shot.png"
  convert "$work/shot.png" -crop "200x80+0+$bar" +repage -depth 8 rgb:- | md5sum
}
captions() {
  import -window "$window" "$work/shot.png"
  convert "$work/shot.png" -crop "200x$bar+0+0" +repage -depth 8 rgb:- | md5sum
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
    icon=$(xprop -id "$window" -notype 32c _NET_WM_ICON | sed -n '1s/.* = //p' | cut -d, -f1-2)
    [ "$icon" = "64, 64" ] || fail "the window's icon for the desktop starts \"$icon\", not \"64, 64\""
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
  keys_start)
    xdotool key F10; sleep 0.4
    xdotool key Return; sleep 0.5
    first=$(well); sleep 1.5
    [ "$(well)" != "$first" ] || fail "no stone fell after F10, Return"
    xdotool key Escape
    expect_end 0
    ;;
  keys_music)
    xdotool key F10; sleep 0.4
    xdotool key Right; sleep 0.4
    xdotool key Return; sleep 2
    if [ ! -s "$work/played.raw" ] || [ "$(tr -d '\0' <"$work/played.raw" | head -c 1 | wc -c)" -ne 1 ]; then
      fail "no music reached the sound driver after F10, →, Return"
    fi
    xdotool key Escape
    expect_end 0
    ;;
  keys_escape)
    before=$(menu_area)
    xdotool key F10; sleep 0.4
    [ "$(menu_area)" != "$before" ] || fail "F10 opened no menu"
    xdotool key Escape; sleep 0.5
    kill -0 "$game" 2>/dev/null || fail "Escape in the open menu ended the game"
    [ "$(menu_area)" = "$before" ] || fail "the menu is still open after Escape"
    xdotool key Escape
    expect_end 0
    ;;
  keys_about)
    windows=$(xdotool search --onlyvisible --name . | wc -l)
    before=$(captions)
    xdotool key alt; sleep 0.3
    [ "$(captions)" != "$before" ] || fail "Alt let go alone marked nothing on the bar"
    xdotool key Right Right Return; sleep 0.8
    [ "$(xdotool search --onlyvisible --name . | wc -l)" -gt "$windows" ] ||
      fail "Alt, →, →, Return showed no about box"
    xdotool key Return; sleep 0.5
    xdotool key Escape
    expect_end 0
    ;;
  missing_font)
    xdotool key Escape
    expect_end 0
    if [ "$(wc -l <"$work/stderr")" -ne 1 ] || ! grep -q 'IPAPMincho.*fonts-ipafont-mincho' "$work/stderr"; then
      fail "not one line naming the missing font and its package: '$(cat "$work/stderr")'"
    fi
    ;;
  *) fail "no such case" ;;
esac
echo "$case: ok"
