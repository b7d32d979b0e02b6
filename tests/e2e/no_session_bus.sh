#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The game started where no session bus runs but dbus-launch is installed
# (dbus-x11), as from a bare X session. With no home folder to note a bus
# in, each library that starts one held the window back for 3 s; with one,
# a bus of the game's own was left running. The window must come up at
# once, and no bus may be started for it.
#   no_session_bus.sh <build-dir>
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'kill "${game:-}" 2>/dev/null || true; kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
command -v dbus-launch >/dev/null || { echo "dbus-launch is missing (dbus-x11)"; exit 1; }
export SDL_AUDIODRIVER=dummy
unset DBUS_SESSION_BUS_ADDRESS XDG_RUNTIME_DIR

# Starts the game with home folder $1 on a display of its own, since a bus
# once started is found again through the display, and closes it once the
# window shows; leaves the milliseconds that took in $took.
run() {
  local start
  start_virtual_display
  start=$(date +%s%N)
  HOME=$1 "$build/zonbeli" 2>"$work/err" &
  game=$!
  timeout 30 xdotool search --sync --onlyvisible --name '^Zonbeli$' >/dev/null ||
    { echo "no window within 30 s"; cat "$work/err"; exit 1; }
  took=$((($(date +%s%N) - start) / 1000000))
  kill "$game"
  wait "$game" || true
  game=
  kill "$xvfb"
  wait "$xvfb" || true
}

run "$work/nowhere"
[ "$took" -lt 3000 ] || { echo "with no home folder the window took $took ms"; exit 1; }
mkdir "$work/home"
run "$work/home"
[ ! -e "$work/home/.dbus" ] || { echo "a session bus was started: $(ls -R "$work/home/.dbus")"; exit 1; }
echo "no session bus: ok"
