#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Without a display the game says so in one line, with the toolkit's reason
# when the toolkit gave one, and exits with an error status: no display set,
# one set that cannot be reached, a platform that does not exist.
set -u
game=$1
check() {
  local reason=$1 output status
  shift
  output=$("$@" 2>&1); status=$?
  [ "$status" -ne 0 ] || { echo "exit status 0 without a display"; exit 1; }
  [ "$status" -lt 128 ] || { echo "died of a signal ($status)"; exit 1; }
  [ "$(printf '%s\n' "$output" | wc -l)" -eq 1 ] || { echo "more than one line:"; echo "$output"; exit 1; }
  grep -q 'xvfb-run' <<<"$output" || { echo "no hint at xvfb-run: $output"; exit 1; }
  grep -qF -- "$reason" <<<"$output" || { echo "no reason ($reason): $output"; exit 1; }
}
check 'cannot open a display' env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$game"
check ':987' env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:987 "$game"
check '"nosuch"' env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=nosuch "$game"
echo "no display: ok"
