#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# zonbeli-record with nowhere to put the recording: /dev/full, and a folder
# where no file may grow (a limit on file size), as on a full disk. Either
# way it says on standard error that the recording could not be written and ends with a
# status other than 0, by itself or when asked to close; an earlier
# recording of that name stays as it was, and no cut file is left behind.
#   record_unwritable.sh <build-dir>
set -u
record=$(cd "$1" && pwd)/zonbeli-record
work=$(mktemp -d)
trap 'kill "${game:-}" 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy
fail() { echo "$*"; exit 1; }

# Records into $1 with files of at most $2 KiB; leaves the status in $status.
# What the recorder says goes through a pipe, which the limit does not reach.
run() {
  rm -f "$work/said" && mkfifo "$work/said"
  cat "$work/said" >"$work/err" &
  local reader=$!
  (
    trap '' XFSZ # a write past the limit fails instead of killing the game
    ulimit -f "$2"
    cd "$work/folder" && exec "$record" "$1"
  ) 2>"$work/said" &
  game=$!
  for _ in $(seq 20); do kill -0 "$game" 2>/dev/null || break; sleep 0.1; done
  kill -TERM "$game" 2>/dev/null # the player closes the window
  status=0; wait "$game" || status=$?
  game=
  wait "$reader"
}
refused() {
  [ "$status" -ne 0 ] && grep -q 'recording could not be written' "$work/err" && return
  fail "$1: status $status, said: $(cat "$work/err")"
}

mkdir "$work/folder"
run /dev/full unlimited
refused /dev/full

echo "an earlier recording" >"$work/folder/game.txt"
run game.txt 0
refused "full folder"
[ "$(cat "$work/folder/game.txt")" = "an earlier recording" ] ||
  fail "the earlier recording was overwritten"
[ "$(ls -A "$work/folder")" = game.txt ] || fail "left behind: $(ls -A "$work/folder")"
echo "unwritable recording: ok"
