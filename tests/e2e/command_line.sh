#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The command line, without any display: --help and -h print the usage with
# the keys on standard output and exit 0, --version prints "zonbeli <version>"
# and exits 0, and anything else that is not one of Qt's own options prints
# the usage on standard error and exits 2. Qt's options reach Qt.
set -u
game=$1
fail() { echo "$*"; exit 1; }
run() {
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$game" "$@" 2>"$err"); status=$?
}
err=$(mktemp); trap 'rm -f "$err"' EXIT

for help in --help -h; do
  run "$help"
  [ "$status" -eq 0 ] || fail "$help: status $status"
  { grep -q 'Usage: zonbeli' <<<"$out" && grep -q 'Esc' <<<"$out" && grep -q 'F10' <<<"$out" &&
      grep -q 'no options' <<<"$out"; } ||
    fail "$help: $out"
  [ ! -s "$err" ] || fail "$help wrote to standard error"
done

run --version
{ [ "$status" -eq 0 ] && [ "$out" = "zonbeli 1.0.0" ]; } || fail "--version: status $status, '$out'"

# A Qt option without its value is left over too.
for bad in --verbose -x level=3 --style "-platform offscreen --verbose"; do
  # shellcheck disable=SC2086
  run $bad
  [ "$status" -eq 2 ] || fail "$bad: status $status"
  { [ -z "$out" ] && grep -q 'Usage: zonbeli' "$err"; } || fail "$bad: no usage on standard error"
done

# Qt's options are left to Qt: with no display to reach the game ends with
# status 1 and its one line about the display.
for qt in "-platform xcb" "--platform xcb" "-display :99" "-style=fusion" "-reverse"; do
  # shellcheck disable=SC2086
  run $qt
  [ "$status" -eq 1 ] || fail "$qt: status $status"
  grep -q 'cannot open a display' "$err" || fail "$qt: $(cat "$err")"
done

# Told to draw off screen, the game runs without any display until stopped.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM SDL_AUDIODRIVER=dummy \
  timeout 3 "$game" -platform offscreen >/dev/null 2>"$err" || status=$?
[ "$status" -eq 124 ] || fail "-platform offscreen: status $status instead of running; it said: $(head -c 2000 "$err")"
echo "command line: ok"
