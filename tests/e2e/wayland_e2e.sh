#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The game on a Wayland session with no X server (a headless weston): it
# comes up natively, stays up saying nothing, and ends with status 0 when
# the session asks it to close; started again, it says in one line that the
# display went away when weston ends under it.
#   wayland_e2e.sh <zonbeli>
set -euo pipefail
game_program=$1
runtime=$(mktemp -d)
chmod 700 "$runtime"
trap 'kill "${game:-}" "${weston:-}" 2>/dev/null || true; rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=zonbeli-e2e QT_QPA_PLATFORM=wayland SDL_AUDIODRIVER=dummy
unset DISPLAY

weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --no-config >"$runtime/weston.log" 2>&1 &
weston=$!
for _ in $(seq 100); do [ -S "$runtime/$WAYLAND_DISPLAY" ] && break; sleep 0.1; done
[ -S "$runtime/$WAYLAND_DISPLAY" ] || { echo "weston did not start"; cat "$runtime/weston.log"; exit 1; }

start_game() {
  (cd "$runtime" && exec "$game_program") 2>"$runtime/stderr" &
  game=$!
  sleep 3
  kill -0 "$game" 2>/dev/null || { echo "the game did not stay up: $(cat "$runtime/stderr")"; exit 1; }
}
# Waits for the game to end; its exit status is left in $status.
await_end() {
  for _ in $(seq 30); do kill -0 "$game" 2>/dev/null || break; sleep 0.1; done
  ! kill -0 "$game" 2>/dev/null || { echo "the game did not end $1"; exit 1; }
  status=0
  wait "$game" || status=$?
  game=
}

start_game
kill -TERM "$game"
await_end "when asked to close"
[ "$status" -eq 0 ] || { echo "exit status $status: $(cat "$runtime/stderr")"; exit 1; }
[ ! -s "$runtime/stderr" ] || { echo "the game said: $(cat "$runtime/stderr")"; exit 1; }

start_game
kill "$weston"
await_end "with the compositor"
[ "$status" -ne 0 ] || { echo "exit status 0 after the display went away"; exit 1; }
[ "$(cat "$runtime/stderr")" = "zonbeli: lost the connection to the display" ] ||
  { echo "not one line about the lost display: '$(cat "$runtime/stderr")'"; exit 1; }
echo "wayland: ok"
