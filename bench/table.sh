# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Sourced by bench/run: turns the probe's raw output of one round into one
# line per figure, and the rounds' figures into rows of the table. A figure
# the round did not measure is "missing", never 0, and never meets a goal.

# Every figure of one round, "name value" or "name missing", from the
# probe's output in the file named.
figures() {
  awk '{ v[$1] = $2 }
       $1 == "play_thread" && $2 == "zonbeli" { v["main_wakeups"] = $6 }
       function has(k) { return (k in v) && v[k] != "" && v[k] != "nan" && v[k] != "-nan" }
       function out(name, k, scale) {
         if (has(k)) print name, v[k] * scale; else print name, "missing"
       }
       function sum(name, a, b) {
         if (has(a) && has(b)) print name, v[a] + v[b]; else print name, "missing"
       }
       END {
         out("startup", "start_up_median_ms", 1)
         out("startup_cold", "start_up_cold_median_ms", 1)
         out("startup_cpu", "start_up_cpu_median_ms", 1)
         out("idle_wakeups", "idle_wakeups_per_second", 1)
         sum("idle_cpu", "idle_cpu_program_percent", "idle_cpu_server_percent")
         out("idle_cpu_game", "idle_cpu_program_percent", 1)
         out("idle_cpu_x", "idle_cpu_server_percent", 1)
         sum("play_cpu", "play_cpu_program_percent", "play_cpu_server_percent")
         out("play_cpu_game", "play_cpu_program_percent", 1)
         out("play_cpu_x", "play_cpu_server_percent", 1)
         sum("blink_cpu", "blink_cpu_program_percent", "blink_cpu_server_percent")
         out("blink_cpu_game", "blink_cpu_program_percent", 1)
         out("blink_cpu_x", "blink_cpu_server_percent", 1)
         out("step_pixels", "pixels_per_fall_step", 1)
         out("damage_pixels", "play_pixels_per_damage", 1)
         out("tick_wakeups", "play_wakeups_per_tick", 1)
         out("main_tick_wakeups", "main_wakeups", 1 / 64)
         out("fall_dev", "fall_step_deviation_p99_ms", 1)
         out("fall_p99", "fall_step_p99_ms", 1)
         out("key_p95", "key_to_pixels_p95_ms", 1)
         out("key_p50", "key_to_pixels_p50_ms", 1)
         out("blink_fps", "blink_frames_per_second", 1)
         out("memory_first_screen", "first_screen_peak_rss_kb", 1 / 1024)
         out("memory_after_game", "after_game_peak_rss_kb", 1 / 1024)
       }' "$1"
}

# Appends to a program's round file the medians of its five starts: the
# time to first content and its own processor time. A round with fewer than
# five, where a start showed nothing, gets "nan" for both, which the table
# shows as missing.
start_up_medians() {
  local medians
  medians=$(awk '
    function median(a, k,  i, j, x) {
      for (i = 2; i <= k; i++) { x = a[i]; for (j = i - 1; j > 0 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
      return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
    }
    $1 == "start_up_ms" { t[++n] = $2 }
    $1 == "start_up_cpu_ms" { c[++m] = $2 }
    END { print "start_up_median_ms", n == 5 ? median(t, n) : "nan"
          print "start_up_cpu_median_ms", m == 5 ? median(c, m) : "nan" }' "$1")
  echo "$medians" >>"$1"
}

# The quotient of two figures of the same round, "missing" if either is.
ratio() {
  awk -v n="$1" -v a="$2" -v b="$3" '
    FILENAME == ARGV[1] && $1 == a { x = $2 }
    FILENAME == ARGV[2] && $1 == b { y = $2 }
    END { if (x == "" || x == "missing" || y == "" || y == "missing" || y == 0) print n, "missing"
          else print n, x / y }' "$4" "$5"
}

# One row over the rounds' figure files: the median of the rounds' values,
# the lowest and highest round, and how many rounds met the goal (op is <,
# <= or "" for a figure without a goal). need is how many rounds must meet
# it; a round where the figure is missing counts as not met. With the label
# "-", the measured cell alone.
row() {
  local label=$1 name=$2 op=$3 goal=$4 shown=$5 fmt=$6 need=$7
  shift 7
  # The label goes through the environment: -v would read a Markdown "\|" as an escape.
  LABEL=$label awk -v n="$name" -v op="$op" -v goal="$goal" -v shown="$shown" \
      -v fmt="$fmt" -v need="$need" -v rounds="$#" '
    BEGIN { label = ENVIRON["LABEL"] }
    $1 == n && $2 != "missing" {
      v[++count] = $2
      if (op == "<" ? $2 < goal : $2 <= goal) met++
    }
    END {
      missing = rounds - count
      if (count == 0) {
        text = "missing"
      } else {
        for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++) if (v[j] < v[i]) { t = v[i]; v[i] = v[j]; v[j] = t }
        median = (count % 2) ? v[(count + 1) / 2] : (v[count / 2] + v[count / 2 + 1]) / 2
        text = sprintf(fmt, median)
        if (count > 1) text = text " (" sprintf(fmt, v[1]) " to " sprintf(fmt, v[count]) ")"
        if (missing > 0) text = text ", missing in " missing " of " rounds " rounds"
      }
      if (label == "-") { print text; exit }
      if (op == "") { printf "| %s | %s | %s | |\n", label, text, shown; exit }
      verdict = (met + 0 >= need) ? "yes" : "NO"
      printf "| %s | %s | %s | %d/%d %s |\n", label, text, shown, met + 0, rounds, verdict
    }' "$@"
}
