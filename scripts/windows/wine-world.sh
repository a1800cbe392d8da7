# Sourced (not run): the pieces of a private world for one run of the Windows installer under
# Wine, shared by the run command, the window journeys and the start benchmark.
#   . scripts/windows/wine-world.sh
# Each function sets variables of the caller; the caller ends what was started (wine_world_end).
# shellcheck shell=bash

_wine_world_scripts=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# wine_world_prefix <Windows build folder> <world folder>: a prefix of the world's own, a copy of
# the build's (made first if needed): the system's files hard-linked, the registry files and the
# users' folders copied (a program appends to its files there, such as the installer's log, and a
# link would share them with the build's prefix and every other world). Starts the world's
# Wine session on $DISPLAY (none: no windows), sets WINEPREFIX and the rest of Wine's
# environment, and wine_user_dir (the prefix user's folder).
wine_world_prefix() {
  local build=$1 world=$2 reg
  "$_wine_world_scripts/wine-prefix.sh" "$build" >/dev/null
  mkdir -p "$world/wine"
  cp -al "$build/wine/prefix" "$world/wine/prefix"
  for reg in "$world"/wine/prefix/*.reg; do cp --remove-destination "$build/wine/prefix/$(basename "$reg")" "$reg"; done
  rm -rf "$world/wine/prefix/drive_c/users"
  cp -a "$build/wine/prefix/drive_c/users" "$world/wine/prefix/drive_c/users"
  cp -a "$build/wine/home" "$world/wine/home"
  # shellcheck source=scripts/windows/wine-env.sh
  . "$_wine_world_scripts/wine-env.sh" "$world"
  # The session on the caller's display (a private X server, or the user's desktop): Wine's
  # desktop process keeps the display it starts with. Started once, without the caller's pipes
  # (see wine-session.sh).
  unset WAYLAND_DISPLAY
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1
  wine_user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)
  wine_world_sessions+=("$world")
}

# wine_world_services <folder for its output> <tarnwick_services> [options...]: the stand-in
# services on a port of their own on loopback; sets services_port and adds the process to the
# ones wine_world_end stops. Fails when they do not listen.
wine_world_services() {
  local dir=$1 program=$2 pid
  shift 2
  mkdir -p "$dir"
  "$program" --host 127.0.0.1 --port 0 "$@" >"$dir/services.out" 2>"$dir/services.log" &
  pid=$!
  wine_world_pids+=("$pid")
  services_port=""
  for _ in $(seq 600); do
    services_port=$(sed -n 's|^listening on https://[^:]*:\([0-9]*\)$|\1|p' "$dir/services.out")
    [[ -n $services_port ]] && return 0
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the stand-in services did not start (see $dir/services.log)" >&2
  return 1
}

# wine_world_xserver <folder for its files>: a private X server on a display it picks itself;
# exports DISPLAY. Start it before the Wine session, which keeps to the display it started on.
wine_world_xserver() {
  local dir=$1 display=""
  mkdir -p "$dir"
  rm -f "$dir/display"
  mkfifo "$dir/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
  wine_world_pids+=("$!")
  if ! read -r -t 60 display <"$dir/display" || [[ -z $display ]]; then
    echo "the private X server did not start (see $dir/xvfb.log)" >&2
    return 1
  fi
  export DISPLAY=:$display
}

# wine_world_installer_faults <fault as JSON>: the services' faults file (--faults) giving every
# full installer's path, of every generation and variant, that fault.
wine_world_installer_faults() {
  local fault=$1 g paths=()
  for g in 4.0 64 9.0 3.0; do paths+=("/download/package/Tarnwick$g.exe"); done
  for g in 4.0 64 9 3.0; do paths+=("/download/release/qvinst$g.exe"); done
  for g in 4 64 9 3; do paths+=("/download/full/en/Tarnwick${g}_setup.exe" "/download/full/cn/qvinst${g}_setup.exe"); done
  paths+=(/filehost/uc)
  printf '%s\n' "${paths[@]}" | jq -R --argjson fault "$fault" -s 'split("\n") | map(select(. != "")) | map({(.): $fault}) | add'
}

# windows_path <Linux path>: the path through the prefix's Z: drive (Wine's map of /).
windows_path() {
  local p
  p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  echo "Z:${p//\//\\}"
}

# wine_world_end: ends the Wine sessions of the worlds, then the services and X servers, in that order.
wine_world_end() {
  local world pid
  for world in "${wine_world_sessions[@]}"; do "$_wine_world_scripts/wine-session.sh" stop "$world" >/dev/null 2>&1 || true; done
  for pid in "${wine_world_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${wine_world_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  wine_world_sessions=()
  wine_world_pids=()
}

wine_world_sessions=()
wine_world_pids=()
