# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Sourced by the scripts that drive the real window: a private X server and
# window manager, the game's window and its menu, and the end of the game.

# The drawing surface's size, where the window itself takes it from.
surface_size=$(dirname "${BASH_SOURCE[0]}")/../../platform/surface_size.h
SURFACE_WIDTH=$(sed -n 's/^#define ZONBELI_SURFACE_WIDTH //p' "$surface_size")
SURFACE_HEIGHT=$(sed -n 's/^#define ZONBELI_SURFACE_HEIGHT //p' "$surface_size")
export SURFACE_WIDTH SURFACE_HEIGHT

# start_virtual_display [WIDTHxHEIGHT] starts a private X server, 1024x768
# unless told, on a display nobody else uses, exports DISPLAY,
# and leaves the server's process id in $xvfb for the caller to stop.
# shellcheck disable=SC2120 # most callers take the usual screen
start_virtual_display() {
  local number_file
  number_file=$(mktemp)
  # -noreset: the server would otherwise reset each time its last client
  # leaves, and refuse whoever connects meanwhile.
  Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
  # shellcheck disable=SC2034 # for the caller to stop
  xvfb=$!
  for _ in $(seq 100); do [ -s "$number_file" ] && break; sleep 0.05; done
  [ -s "$number_file" ] || { echo "Xvfb did not start"; return 1; }
  DISPLAY=:$(head -1 "$number_file")
  export DISPLAY
  rm -f "$number_file"
  # A busy machine may take seconds before the server answers.
  for _ in $(seq 300); do
    xdpyinfo >/dev/null 2>&1 && { unset QT_QPA_PLATFORM; return 0; }
    sleep 0.1
  done
  echo "Xvfb on $DISPLAY does not answer"
  return 1
}

# Starts openbox on that display, as on a player's desktop, and waits until
# it manages windows; its process id is left in $wm.
start_window_manager() {
  local log
  log=$(mktemp)
  openbox --sm-disable >"$log" 2>&1 &
  wm=$!
  for _ in $(seq 200); do
    [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *'window id'* ]] && { rm -f "$log"; return 0; }
    kill -0 "$wm" 2>/dev/null || break
    sleep 0.1
  done
  echo "openbox did not start: $(cat "$log")"
  rm -f "$log"
  return 1
}

# Waits for the game's window, lets it settle for $1 seconds, and
# sets $window, its screen position $X and $Y, its $HEIGHT and the height
# $bar of the menu bar that stands above the surface.
find_game_window() {
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Zonbeli$' | sed -n 1p)
  [ -n "$window" ] || { echo "the game's window did not come up"; return 1; }
  sleep "$1"
  measure_window
}

# Sets $X, $Y, $HEIGHT and $bar anew, once a window manager has placed it.
measure_window() {
  eval "$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print "X=" $4}
    /Absolute upper-left Y/ {print "Y=" $4} /Height:/ {print "HEIGHT=" $2}')"
  bar=$((HEIGHT - SURFACE_HEIGHT))
  [ "$bar" -gt 5 ] || { echo "unexpected window height $HEIGHT"; return 1; }
}

open_game_menu() { xdotool mousemove $((X + 25)) $((Y + bar / 2)) click 1; }

# ゲーム → 開始
choose_start() {
  open_game_menu; sleep 0.4
  xdotool mousemove $((X + 25)) $((Y + bar + bar / 2 + 2)) click 1; sleep 0.5
}

# After the game ($game) was told to end: its window must go within 10 s,
# the process must not outlive it by more than 1 s, and it must exit with
# status $1 (0).
expect_quit() {
  local expected=${1:-0} status=0
  for _ in $(seq 200); do
    xwininfo -id "$window" 2>/dev/null | grep -q IsViewable || break
    sleep 0.05
  done
  if xwininfo -id "$window" 2>/dev/null | grep -q IsViewable; then
    echo "the game's window is still there"; return 1
  fi
  for _ in $(seq 20); do kill -0 "$game" 2>/dev/null || break; sleep 0.05; done
  if kill -0 "$game" 2>/dev/null; then
    echo "the game's process outlived its window by more than 1 s"; return 1
  fi
  wait "$game" || status=$?
  game=
  [ "$status" -eq "$expected" ] || { echo "the game ended with status $status, not $expected"; return 1; }
}
