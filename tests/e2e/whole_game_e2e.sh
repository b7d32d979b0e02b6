#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Whole games in the real window, driven as a player would: 開始 from the
# menu, moves and turns, fast drops until GAME OVER, 開始 again with the
# hi-score kept, and Escape ending the program with status 0 at once.
#   whole_game_e2e.sh <build-dir> [screenshot-dir]
# ZONBELI_E2E_SHOTS, when set, names the screenshot folder instead.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$1
shots=${ZONBELI_E2E_SHOTS:-${2:-$(mktemp -d)}}
mkdir -p "$shots"
work=$(mktemp -d)
trap 'kill "${game:-}" 2>/dev/null || true; kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

start_virtual_display
export SDL_AUDIODRIVER=dummy

"$build/zonbeli" &
game=$!
find_game_window 0.5

shot() { import -window "$window" "$shots/$1.png"; }
# A region of the surface as text, for comparing what two screenshots show.
region() { convert "$shots/$1.png" -crop "$4x$5+$2+$(($3 + bar))" +repage -depth 8 rgb:- | md5sum | cut -d' ' -f1; }
hiscore() { region "$1" 515 243 80 30; }
score() { region "$1" 515 418 80 30; }
well() { region "$1" 42 60 385 535; }

shot start
choose_start
shot playing_first
[ "$(well start)" != "$(well playing_first)" ] || { echo "開始 did not start a game"; exit 1; }

xdotool key Left Left Up; sleep 1.2
xdotool key Right Right Right Up Up; sleep 0.5
shot mid_game_moves

# Fast drops until the hi-score changes, which happens only at GAME OVER.
over=no
for _ in $(seq 90); do
  xdotool keydown Down; sleep 1; xdotool keyup Down
  shot probe
  if [ "$(hiscore probe)" != "$(hiscore start)" ]; then over=yes; break; fi
done
[ "$over" = yes ] || { echo "no GAME OVER after 90 s of fast drops"; exit 1; }
sleep 0.5
shot game_over
# The well is empty after the slide, and GAME OVER blinks over it: two
# frames a moment apart differ only in the text's colour.
sleep 0.3; shot game_over_later
[ "$(well game_over)" != "$(well game_over_later)" ] || { echo "GAME OVER is not blinking"; exit 1; }
first_hiscore=$(hiscore game_over)

choose_start
shot second_game
[ "$(hiscore second_game)" = "$first_hiscore" ] || { echo "the hi-score was not kept"; exit 1; }
[ "$(score second_game)" = "$(score start)" ] || { echo "the score did not start again at 0000"; exit 1; }

pressed=$(date +%s.%N)
xdotool key Escape
expect_quit 0
ended=$(date +%s.%N)
awk -v a="$pressed" -v b="$ended" 'BEGIN { d = b - a; printf "Escape to exit: %.3f s\n", d; exit !(d < 1.0) }'
echo "whole games: ok (screenshots in $shots)"
