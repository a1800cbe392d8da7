#!/usr/bin/env bash
# The Windows executable's job without a window under Wine against the Linux build's, both against
# one stand-in services process started here, in one run; then the stripped Windows executable's
# size with its skin against the aim (at most 1.5 MiB).
#
# The download figure is the one the installer reports itself: the "download_duration" event (its
# download thread's milliseconds, from the first request to the file on disk) that the services
# record. The services serve the Windows stand-in emulator, padded, as the full installer: the
# Windows job installs and starts it; the Linux job downloads the same bytes, then cannot run a
# Windows program and ends there, after its download. Each job runs RUNS times in turn
# (Linux, Wine, Linux, Wine, ...); the medians are compared and their ratio printed.
#
#   bench/wine_download_bench.sh [Linux build folder, default build] [Windows build folder, default build-win]
#                                [Windows build folder whose executable is sized, default the same;
#                                 a Release one gives the figure that counts]
# SIZE_MIB (default 64) is the installer's size, RUNS (default 3) the runs of each.
# Needs: the Linux build's tarnwick_installer and tarnwick_services, the Windows build's
# tarnwick_installer.exe and the stand-in emulator, both development builds (they read the
# services' address from the environment). Builds nothing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
linux_build=$(cd "${1:-build}" && pwd)
win_build=$(cd "${2:-build-win}" && pwd)
size_build=$(cd "${3:-$win_build}" && pwd)
size_mib=${SIZE_MIB:-64}
runs=${RUNS:-3}
linux_exe=$linux_build/app/tarnwick_installer
win_exe=$win_build/app/tarnwick_installer.exe
win_emulator=$win_build/standin/emulator/tarnwick_standin_emulator.exe
services=$linux_build/standin/services/tarnwick_services
for f in "$linux_exe" "$win_exe" "$win_emulator" "$services"; do
  [[ -f $f ]] || { echo "missing $f: build it first" >&2; exit 1; }
done

work=$(mktemp -d "$win_build/wine-bench.XXXXXX")
services_pid=""
finish() {
  if [[ -n $services_pid ]]; then kill "$services_pid" 2>/dev/null || true; wait "$services_pid" 2>/dev/null || true; fi
  "$root/scripts/windows/wine-session.sh" stop "$work" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT

"$services" --host 127.0.0.1 --port 0 --record "$work/posts.jsonl" --installer-file "$win_emulator" \
  --installer-size $((size_mib << 20)) >"$work/services.out" 2>"$work/services.log" &
services_pid=$!
port=""
for _ in $(seq 600); do
  port=$(sed -n 's|^listening on https://[^:]*:\([0-9]*\)$|\1|p' "$work/services.out")
  [[ -n $port ]] && break
  sleep 0.1
done
[[ -n $port ]] || { echo "the stand-in services did not start" >&2; cat "$work/services.log" >&2; exit 1; }

# The last download_duration the services recorded (milliseconds).
last_duration() {
  jq -r 'select(.path == "/collection/biz/upload" and .accepted) | .body | fromjson | .[]
         | select(.eventKey == "download_duration") | [.. | objects | .duration? // empty][0]' \
    "$work/posts.jsonl" 2>/dev/null | tail -1
}
count_durations() { jq -r 'select(.path == "/collection/biz/upload") | .body' \
  "$work/posts.jsonl" 2>/dev/null | grep -c download_duration || true; }

now_ms() { date +%s%3N; }

run_linux() {  # one job in a fresh world; prints "<download ms> <job ms>"
  local world=$work/linux-$1 before start end
  mkdir -p "$world/home/Downloads" "$world/home/Desktop" "$world/run"
  chmod 700 "$world/run"
  cp "$linux_exe" "$world/home/Downloads/Tarnwick9_en_35036_x.exe"
  before=$(count_durations)
  start=$(now_ms)
  (cd "$world/home/Downloads" &&
    env -i HOME="$world/home" XDG_DATA_HOME="$world/home/.local/share" XDG_CONFIG_HOME="$world/home/.config" \
      XDG_RUNTIME_DIR="$world/run" TARNWICK_DRIVES="C=$world/home" LANG=C.UTF-8 PATH=/usr/bin:/bin \
      TARNWICK_AUTOMATION=headless TARNWICK_SERVICES="127.0.0.1:$port" \
      timeout 600 ./Tarnwick9_en_35036_x.exe >"$world/out" 2>&1) || true
  end=$(now_ms)
  [[ $(count_durations) -gt $before ]] || { echo "the Linux job reported no download (see $world)" >&2; exit 1; }
  echo "$(last_duration) $((end - start))"
}

# The Wine prefix: a copy of the Windows build's (files linked, registry copied), fresh per run.
"$root/scripts/windows/wine-prefix.sh" "$win_build" >/dev/null
run_wine() {
  local world=$work/wine-$1 user_dir before start end ca
  rm -rf "$work/wine"
  mkdir -p "$work/wine"
  cp -al "$win_build/wine/prefix" "$work/wine/prefix"
  for reg in "$work"/wine/prefix/*.reg; do cp --remove-destination "$win_build/wine/prefix/$(basename "$reg")" "$reg"; done
  cp -a "$win_build/wine/home" "$work/wine/home"
  "$root/scripts/windows/wine-session.sh" start "$work"
  user_dir=$(find "$work/wine/prefix/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)
  mkdir -p "$user_dir/Downloads" "$world"
  cp "$win_exe" "$user_dir/Downloads/Tarnwick9_en_35036_x.exe"
  ca=$linux_build/standin/certs/ca.pem
  before=$(count_durations)
  start=$(now_ms)
  # shellcheck source=scripts/windows/wine-env.sh
  (cd "$user_dir/Downloads" && . "$root/scripts/windows/wine-env.sh" "$work" &&
    env -u DISPLAY -u WAYLAND_DISPLAY TARNWICK_AUTOMATION=headless TARNWICK_SERVICES="localhost:$port" \
      TARNWICK_CA_BUNDLE="Z:${ca//\//\\}" TARNWICK_STANDIN_RECORD="Z:${world//\//\\}\\record.jsonl" \
      timeout 600 wine ./Tarnwick9_en_35036_x.exe </dev/null >"$world/out" 2>&1) || true
  end=$(now_ms)
  "$root/scripts/windows/wine-session.sh" stop "$work"
  [[ $(count_durations) -gt $before ]] || { echo "the Wine job reported no download (see $world)" >&2; exit 1; }
  echo "$(last_duration) $((end - start))"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "installer: $size_mib MiB from https://127.0.0.1:$port (Linux) / https://localhost:$port (Wine), $runs runs each"
: >"$work/linux.txt"
: >"$work/wine.txt"
for i in $(seq "$runs"); do
  read -r d j < <(run_linux "$i")
  echo "  run $i Linux: download $d ms, whole job $j ms"
  echo "$d $j" >>"$work/linux.txt"
  read -r d j < <(run_wine "$i")
  echo "  run $i Wine:  download $d ms, whole job $j ms"
  echo "$d $j" >>"$work/wine.txt"
done
linux_download=$(cut -d' ' -f1 "$work/linux.txt" | median)
wine_download=$(cut -d' ' -f1 "$work/wine.txt" | median)
wine_job=$(cut -d' ' -f2 "$work/wine.txt" | median)
mibs() { awk -v ms="$1" -v mib="$size_mib" 'BEGIN { printf "%.1f MiB/s", mib * 1000 / ms }'; }
echo "download, median: Linux $linux_download ms ($(mibs "$linux_download")), Wine $wine_download ms ($(mibs "$wine_download"))"
awk -v l="$linux_download" -v w="$wine_download" 'BEGIN {
  printf "Wine / Linux download time: %.2f (Wine overhead %+.0f%%)\n", w / l, (w / l - 1) * 100 }'
echo "whole Wine job, median: $wine_job ms (includes Wine's start, the installation and the emulator's start)"

# ---- The stripped Windows executable ----
aim=$((3 * 1024 * 1024 / 2))
x86_64-w64-mingw32-strip -o "$work/stripped.exe" "$size_build/app/tarnwick_installer.exe"
stripped=$(stat -c %s "$work/stripped.exe")
verdict=MISS
((stripped <= aim)) && verdict=PASS
build_type=$(grep -m1 '^CMAKE_BUILD_TYPE' "$size_build/CMakeCache.txt" | cut -d= -f2)
awk -v b="$stripped" -v t="$build_type" -v v="$verdict" 'BEGIN {
  printf "Windows executable, stripped, with its skin (%s build): %.3f MiB (%d bytes; aim: at most 1.5 MiB) %s\n", t, b / 1048576, b, v }'
