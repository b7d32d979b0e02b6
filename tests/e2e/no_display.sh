#!/usr/bin/env bash
# Without a display the game says so in one line and exits with an error
# status, whether no display is set or the one set cannot be reached.
set -u
game=$1
check() {
  local output status
  output=$("$@" 2>&1); status=$?
  [ "$status" -ne 0 ] || { echo "exit status 0 without a display"; exit 1; }
  [ "$status" -lt 128 ] || { echo "died of a signal ($status)"; exit 1; }
  [ "$(printf '%s\n' "$output" | wc -l)" -eq 1 ] || { echo "more than one line:"; echo "$output"; exit 1; }
  grep -q 'xvfb-run' <<<"$output" || { echo "no hint at xvfb-run: $output"; exit 1; }
}
check env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$game"
check env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:987 "$game"
echo "no display: ok"
