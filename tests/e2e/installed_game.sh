# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Sourced by the install and package tests. check_installed_game starts an
# installed program from a given folder on the virtual display (the caller
# has started it), switches the music on from the menu and reads the disk
# audio driver's output to see that the sounds were found, switches it off,
# and ends the game with ゲーム → 終了, which must exit with status 0. The
# program must say nothing on its error output, and the sound library it loaded
# must be the one under the given folder.
#   check_installed_game <program> <working folder> <scratch folder> <library folder>
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
check_installed_game() {
  local program=$1 folder=$2 scratch=$3 libraries=$4
  SDL_DISKAUDIOFILE=$scratch/out.raw
  (cd "$folder" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$SDL_DISKAUDIOFILE exec "$program") \
    2>"$scratch/game.err" &
  game=$!
  find_game_window 1 || { cat "$scratch/game.err"; return 1; }
  local loaded
  loaded=$(grep -o '/[^ ]*libzonbeli_sound\.so[^ ]*' "/proc/$game/maps" | sed -n 1p) || true
  echo "sound library: $loaded"
  [[ "$loaded" == "$libraries"* ]] || { echo "the sound library was not taken from $libraries"; return 1; }

  # Mean absolute sample of what the driver wrote since byte offset $1.
  loudness() {
    python3 - "$SDL_DISKAUDIOFILE" "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()[int(sys.argv[2]):]
n = len(data) // 2
s = struct.unpack('<%dh' % n, data[:n * 2]) if n else ()
print(sum(abs(v) for v in s) // max(n, 1))
PY
  }
  size() { stat -c %s "$SDL_DISKAUDIOFILE"; }

  # The menu bar: ｵﾌﾟｼｮﾝ is the second caption; BGM its only item.
  local option_x=$((X + 80)) bar_y=$((Y + bar / 2)) before after on_level off_level
  before=$(size)
  xdotool mousemove "$option_x" "$bar_y" click 1; sleep 0.4
  xdotool mousemove "$option_x" $((bar_y + 24)) click 1; sleep 1.5
  on_level=$(loudness "$before")
  echo "music on: mean level $on_level"
  [ "$on_level" -gt 100 ] || { echo "the installed game played no music"; return 1; }

  xdotool mousemove "$option_x" "$bar_y" click 1; sleep 0.4
  xdotool mousemove "$option_x" $((bar_y + 24)) click 1; sleep 0.5
  after=$(size); sleep 1
  off_level=$(loudness "$after")
  echo "music off: mean level $off_level"
  [ "$off_level" -lt 20 ] || { echo "the music did not stop"; return 1; }

  # ゲーム → 終了
  xdotool mousemove $((X + 25)) "$bar_y" click 1; sleep 0.4
  xdotool mousemove $((X + 25)) $((bar_y + 48)) click 1
  expect_quit 0 || { cat "$scratch/game.err"; return 1; }
  # The disk driver announces itself; anything else is a complaint.
  if grep -v -e 'SDL disk i/o audio driver' -e 'Writing to file' "$scratch/game.err"; then
    echo "the game complained"; return 1
  fi
}

# The desktop entry and the AppStream metadata, validated, with the desktop
# file named after the component id.
#   check_desktop_metadata <share folder>
check_desktop_metadata() {
  local share=$1 id=org.zonbeli.zonbeli
  desktop-file-validate "$share/applications/$id.desktop"
  grep -q "<id>$id</id>" "$share/metainfo/$id.metainfo.xml" ||
    { echo "component id differs from the desktop file's name"; return 1; }
  local report
  report=$(appstreamcli validate --no-net --pedantic "$share/metainfo/$id.metainfo.xml" 2>&1) ||
    { echo "$report"; return 1; }
  if grep -q '^[EWIP]:' <<<"$report"; then echo "$report"; return 1; fi
  local size
  for size in 16 24 32 48 64 128 256; do
    [ -f "$share/icons/hicolor/${size}x$size/apps/zonbeli.png" ] || { echo "no ${size}px icon"; return 1; }
    [ "$(identify -format '%wx%h' "$share/icons/hicolor/${size}x$size/apps/zonbeli.png")" = "${size}x$size" ] ||
      { echo "the ${size}px icon has the wrong size"; return 1; }
  done
  [ -f "$share/icons/hicolor/scalable/apps/zonbeli.svg" ] || { echo "no scalable icon"; return 1; }
}
