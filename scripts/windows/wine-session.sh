#!/usr/bin/env bash
# Starts or ends the Wine session of a build folder's prefix, around a run of its tests:
#   scripts/windows/wine-session.sh start <build folder>
#   scripts/windows/wine-session.sh stop <build folder>
# "start" makes the prefix if needed, starts a private X server for the session's windows (Xvfb on
# a display it picks itself, named in <build>/wine/display for scripts/windows/wine-run.sh), then
# a persistent wineserver and Wine's background services once, with no terminal or pipe of the
# caller: started by the first test instead, they would keep ctest's output pipe open and ctest
# would wait for them forever. Wine's desktop process keeps the display it started with, so every
# program of the session gets that one. "stop" ends every program of the prefix, its wineserver
# and the X server.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
action=${1:?usage: wine-session.sh start|stop <build folder>}
build=${2:?usage: wine-session.sh start|stop <build folder>}
display_file=$build/wine/display
xvfb_pid_file=$build/wine/xvfb.pid

stop_display() {
  if [[ -f $xvfb_pid_file ]]; then
    local pid
    pid=$(cat "$xvfb_pid_file")
    # Only the X server this script started (its pid and program name).
    if [[ -n $pid && $(ps -o comm= -p "$pid" 2>/dev/null) == Xvfb ]]; then
      kill "$pid" 2>/dev/null || true
    fi
  fi
  rm -f "$display_file" "$xvfb_pid_file"
}

# Whether the X server of this build folder's session still runs.
display_running() {
  [[ -f $display_file && -f $xvfb_pid_file ]] &&
    [[ $(ps -o comm= -p "$(cat "$xvfb_pid_file")" 2>/dev/null) == Xvfb ]]
}

# Starts Xvfb on a free display and writes ":N" to $display_file; no display when Xvfb is missing.
start_display() {
  stop_display
  command -v Xvfb >/dev/null || { echo "wine-session: no Xvfb: the Wine tests run without windows" >&2; return 0; }
  local number_file=$build/wine/.display-number
  rm -f "$number_file"
  setsid Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset \
    3>"$number_file" </dev/null >/dev/null 2>&1 &
  local pid=$!
  echo "$pid" >"$xvfb_pid_file"
  for _ in $(seq 1 200); do
    if [[ -s $number_file ]] && grep -q '^[0-9][0-9]*$' "$number_file"; then
      echo ":$(cat "$number_file")" >"$display_file"
      rm -f "$number_file"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "wine-session: Xvfb did not start: the Wine tests run without windows" >&2
  stop_display
}

case $action in
  start)
    "$here/wine-prefix.sh" "$build" >/dev/null
    # shellcheck source=scripts/windows/wine-env.sh
    . "$here/wine-env.sh" "$build"
    if ! display_running; then
      # A session left over from an interrupted run goes first: its desktop has no display or
      # one that is gone.
      wineserver -k </dev/null >/dev/null 2>&1 || true
      wineserver -w </dev/null >/dev/null 2>&1 || true
      start_display
    fi
    if [[ -f $display_file ]]; then export DISPLAY; DISPLAY=$(cat "$display_file"); else unset DISPLAY; fi
    unset WAYLAND_DISPLAY
    # Already running when the session is reused.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    if [[ -d $build/wine/prefix ]]; then
      # shellcheck source=scripts/windows/wine-env.sh
      . "$here/wine-env.sh" "$build"
      wineserver -k </dev/null >/dev/null 2>&1 || true
      wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    stop_display
    ;;
  *) echo "wine-session: unknown action $action" >&2; exit 2 ;;
esac
