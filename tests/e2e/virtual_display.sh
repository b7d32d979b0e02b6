# SPDX-License-Identifier: MIT
# Sourced by the scripts that drive the real window. start_virtual_display
# [WIDTHxHEIGHT] starts a private X server (1024x768 unless told) on a
# display nobody else uses, exports DISPLAY, and leaves the server's process
# id in $xvfb for the caller to stop.
start_virtual_display() {
  local number_file
  number_file=$(mktemp)
  # -noreset: the server would otherwise reset each time its last client
  # leaves, and refuse whoever connects meanwhile.
  Xvfb -displayfd 3 -screen 0 "${1:-1024x768}x24" -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
  xvfb=$!
  for _ in $(seq 100); do [ -s "$number_file" ] && break; sleep 0.05; done
  [ -s "$number_file" ] || { echo "Xvfb did not start"; return 1; }
  export DISPLAY=:$(head -1 "$number_file")
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
