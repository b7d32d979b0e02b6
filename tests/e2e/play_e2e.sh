#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# One game in the real window on a virtual X server: start it from the
# ゲーム menu, steer the first trio with the arrow keys (two left, one
# right, a turn after its first fall step), hold the down key until it has
# landed, and check on screenshots that the trio stood up in column 5, that
# the prompt is gone, the score has moved and the bottom of the well holds
# stones that were not there at start. Escape must then end the program
# with status 0 within two seconds.
#   play_e2e.sh <build-dir>
# Set ZONBELI_E2E_SHOTS to a folder to keep the screenshots.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$1
work=$(mktemp -d)
keep_shots() {
  if [ -n "${ZONBELI_E2E_SHOTS:-}" ]; then
    mkdir -p "$ZONBELI_E2E_SHOTS"
    cp "$work"/*.png "$ZONBELI_E2E_SHOTS"/ 2>/dev/null || true
  fi
}
trap 'kill "${game:-}" "${xvfb:-}" 2>/dev/null || true; keep_shots; rm -rf "$work"' EXIT

start_virtual_display
export SDL_AUDIODRIVER=dummy
(cd "$work" && exec "$build/zonbeli") >"$work/game.log" 2>&1 &
game=$!

find_game_window 1
left=$X
top=$((Y + bar))

shot() { import -window root "$work/$1.png"; }

# Pixel position of a board cell, as the game rounds twips.
cell_x() { echo $((left + (100 + 525 * $1 + 7) / 15)); }
cell_y() { echo $((top + (-200 + 525 * $1 + 7) / 15)); }

# A signature of the inside of cell (column, row) on a screenshot; every
# empty cell shows the same wood and so has the same signature.
cell_sig() {
  convert "$work/$1.png" -crop "30x30+$(($(cell_x "$2") + 2))+$(($(cell_y "$3") + 2))" +repage \
    -format '%#' info:
}
holds_stone() { [ "$(cell_sig "$1" "$2" "$3")" != "$empty" ]; }
pixel() { convert "$work/$1.png" -format "%[pixel:p{$2,$3}]" info:; }
# Signature of the four score digits.
score_sig() {
  convert "$work/$1.png" -crop "80x26+$((left + 516))+$((top + 419))" +repage -format '%#' info:
}
# The cells of rows 12 to 16 that hold a stone, as "(column,row)" words.
stones_below() {
  local row column found=""
  for row in 12 13 14 15 16; do
    for column in $(seq 1 11); do
      if holds_stone "$1" "$column" "$row"; then found="$found ($column,$row)"; fi
    done
  done
  echo "$found"
}

shot start
empty=$(cell_sig start 1 16)
centre_x=$(($(cell_x 6) + 17))
centre_y=$(($(cell_y 8) + 17))
[ "$(pixel start "$centre_x" "$centre_y")" = "srgb(0,128,0)" ] ||
  { echo "no green prompt panel before the game: $(pixel start "$centre_x" "$centre_y")"; exit 1; }
[ -z "$(stones_below start)" ] || { echo "stones in the well before the game"; exit 1; }

choose_start
xdotool windowfocus --sync "$window" 2>/dev/null || true

# The lying trio goes to columns 4 to 6; a trio in row 2 cannot turn, so
# wait for its first fall step before turning it.
xdotool key Left
xdotool key Left
xdotool key Right
# A busy machine may see it a row or two further down.
lying=""
for _ in $(seq 40); do
  shot falling
  for row in 3 4 5 6 7; do
    if holds_stone falling 5 "$row" && holds_stone falling 4 "$row" && holds_stone falling 6 "$row"; then
      lying=$row
    fi
  done
  [ -z "$lying" ] || break
  sleep 0.1
done
[ -n "$lying" ] || { echo "the trio did not reach columns 4 to 6 below row 2"; exit 1; }
xdotool key Up
sleep 0.2
shot steered
# A busy machine may take its screenshot a few fall steps later: the trio
# may stand anywhere in column 5, but in three rows one above the other.
standing=()
for row in $(seq 2 16); do
  if holds_stone steered 5 "$row"; then standing+=("$row"); fi
  if [ "$row" -ge 3 ] && { holds_stone steered 4 "$row" || holds_stone steered 6 "$row"; }; then
    echo "stones beside column 5 in row $row after the turn"
    exit 1
  fi
done
if [ "${#standing[@]}" -eq 3 ] && [ $((standing[2] - standing[0])) -eq 2 ]; then
  echo "the trio stands in column 5, rows ${standing[*]}"
else
  echo "no trio standing in column 5 (rows with stones: '${standing[*]}')"; exit 1
fi

# Down, held in short bursts, until a landing has scored and left stones
# (a trio of one kind standing on itself may be erased at once; then the
# next trios land).
for attempt in $(seq 40); do
  xdotool keydown Down
  sleep 0.3
  xdotool keyup Down
  sleep 0.1
  shot landed
  below=$(stones_below landed)
  if [ "$(score_sig landed)" != "$(score_sig start)" ] && [ "$(echo "$below" | wc -w)" -ge 3 ]; then
    break
  fi
done
echo "stones in rows 12-16 after $attempt drops:$below"
[ "$(score_sig landed)" != "$(score_sig start)" ] || { echo "the score did not move"; exit 1; }
[ "$(echo "$below" | wc -w)" -ge 3 ] || { echo "no stones landed in the well"; exit 1; }
[ "$(pixel landed "$centre_x" "$centre_y")" != "srgb(0,128,0)" ] ||
  { echo "the prompt panel is still there"; exit 1; }

xdotool key Escape
expect_quit 0 || { cat "$work/game.log"; exit 1; }
echo "play in the real window: ok"
