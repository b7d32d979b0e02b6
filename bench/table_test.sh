#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The benchmark's table never lets a figure it did not measure pass: a round
# cut short (the game died before its idle stretch was over) is fed to the
# table code, and every goal that round could not measure must fail.
set -euo pipefail
# shellcheck source=SCRIPTDIR/table.sh
source "$(dirname "$0")/table.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
expect() {
  if [[ $2 == *"$3"* ]]; then return; fi
  echo "FAIL: $1: expected '$3' in: $2"
  failures=$((failures + 1))
}

cat >"$work/whole" <<'ROUND'
start_up_median_ms 60.0
start_up_cpu_median_ms 50.0
idle_cpu_program_percent 0.010
idle_cpu_server_percent 0.000
idle_wakeups_per_second 0.00
first_screen_peak_rss_kb 40960
after_game_peak_rss_kb 51200
ROUND
# The same round, cut off in the idle stretch: no CPU of the X server, no
# wake-ups, no memory.
head -3 "$work/whole" >"$work/cut"
figures "$work/whole" >"$work/whole.figures"
figures "$work/cut" >"$work/cut.figures"

rounds=("$work/whole.figures" "$work/cut.figures")
expect "idle CPU" "$(row idle idle_cpu "<" 0.05 "" %.3f 2 "${rounds[@]}")" "1/2 NO"
expect "wake-ups" "$(row wakeups idle_wakeups "<=" 1 "" %.1f 2 "${rounds[@]}")" "missing in 1 of 2 rounds"
expect "memory" "$(row memory memory_after_game "<" 60 "" %.1f 2 "${rounds[@]}")" "1/2 NO"
expect "memory alone" "$(row memory memory_after_game "<" 60 "" %.1f 1 "$work/cut.figures")" "| missing |  | 0/1 NO"
expect "measured memory" "$(row memory memory_after_game "<" 60 "" %.1f 1 "$work/whole.figures")" "| 50.0 |  | 1/1 yes"
expect "playing CPU, never measured" "$(row play play_cpu "<" 0.8 "" %.2f 1 "$work/whole.figures")" "| missing |  | 0/1 NO"
expect "a quotient with a missing side" \
  "$(ratio q startup idle_cpu "$work/whole.figures" "$work/cut.figures")" "q missing"
expect "a measured quotient" "$(ratio q startup startup "$work/whole.figures" "$work/whole.figures")" "q 1"
expect "median and range of rounds" \
  "$(row - startup "" 0 "" %.0f 0 "$work/whole.figures" "$work/cut.figures" "$work/whole.figures")" "60 (60 to 60)"

# Five starts taken one at a time: the median of the five, whatever each
# single start reported; four, and the round's start-up is missing.
for count in 5 4; do
  : >"$work/starts$count"
  for ms in 52.0 38.5 9.5 100.0 41.0; do
    printf 'start_up_ms %s\nstart_up_cpu_ms 30.0\nstart_up_median_ms %s\n' "$ms" "$ms" >>"$work/starts$count"
  done
  [ "$count" = 4 ] && sed -i '1,3d' "$work/starts$count"
  start_up_medians "$work/starts$count"
  figures "$work/starts$count" >"$work/starts$count.figures"
done
expect "five starts" "$(row - startup "" 0 "" %.1f 0 "$work/starts5.figures")" "41.0"
expect "four starts" "$(row - startup "" 0 "" %.1f 0 "$work/starts4.figures")" "missing"
echo "table: $((11 - failures)) passed, $failures failed"
[ "$failures" -eq 0 ]
