#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The real program started with a broken BGM.wav in its current folder, or
# with no audio device: an empty file, a file too large to be a sound (a
# sparse one, so nothing is really written) and a missing device each bring
# one warning box titled Zonbeli.dll; truncated or random bytes play
# silently but say on stderr, in one line naming the file, why; a folder of
# that name plays silently. In every case the game comes up and Escape ends
# it with status 0.
#   bad_sounds_e2e.sh <build-dir>
set -euo pipefail
source "$(dirname "$0")/lib.sh"
build=$1
work=$(mktemp -d)
trap 'kill "${game:-}" 2>/dev/null || true; kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT
start_virtual_display

# Runs the game in folder $1 and expects $2 warning boxes before the window
# and $3 lines on stderr about BGM.wav.
run_case() {
  local name=$1 boxes=$2 said=$3 driver=${4:-dummy}
  (cd "$work/$name" && SDL_AUDIODRIVER=$driver exec "$build/zonbeli") 2>"$work/$name.err" &
  game=$!
  for _ in $(seq "$boxes"); do
    box=$(timeout 10 xdotool search --sync --onlyvisible --name '^Zonbeli\.dll$' | sed -n 1p) ||
      { echo "$name: no warning box"; exit 1; }
    xdotool windowactivate --sync "$box" key Return 2>/dev/null || xdotool key Return
    sleep 0.3
  done
  window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Zonbeli$' | sed -n 1p) ||
    { echo "$name: the game window did not come up"; exit 1; }
  sleep 0.3
  if xdotool search --onlyvisible --name '^Zonbeli\.dll$' >/dev/null 2>&1; then
    echo "$name: an unexpected warning box"; exit 1
  fi
  xdotool search --onlyvisible --name '^Zonbeli$' windowactivate --sync 2>/dev/null || true
  xdotool key Escape
  expect_quit 0 || { echo "$name"; cat "$work/$name.err"; exit 1; }
  [ "$(grep -c 'BGM\.wav is not played: .' "$work/$name.err")" -eq "$said" ] ||
    { echo "$name: expected $said lines about BGM.wav on stderr"; cat "$work/$name.err"; exit 1; }
  echo "$name: ok"
}

mkdir "$work/empty" "$work/truncated" "$work/random" "$work/folder" "$work/nodevice" \
  "$work/huge" "$work/large"
: >"$work/empty/BGM.wav"
# 30 GB once made the game abort for want of memory; 300 MB it would read whole.
truncate -s 30G "$work/huge/BGM.wav"
truncate -s 300M "$work/large/BGM.wav"
head -c 30 "$(dirname "$0")/../../assets/sounds/BGM.wav" >"$work/truncated/BGM.wav"
head -c 5000 /dev/urandom >"$work/random/BGM.wav"
mkdir "$work/folder/BGM.wav"

run_case empty 1 0
run_case huge 1 0
run_case large 1 0
run_case truncated 0 1
run_case random 0 1
run_case folder 0 0
run_case nodevice 1 0 no-such-audio-driver
