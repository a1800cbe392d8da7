#!/usr/bin/env bash
# Start of the Windows installer to its first painted main window under Wine, against a bare Win32
# window program that paints one frame (bench/win/bare_window_win.cpp), both in one Wine session
# on one private X server, taking turns (the order alternates every round); then the stripped
# Windows executable's size with its window.
#
# Each start is timed from the launch of `wine <program>` to the line "first-frame" on the
# program's standard output (development builds of the installer print it with
# TARNWICK_FIRST_FRAME once the main window is painted), and the program's resident memory is read
# then (/proc: both are Wine processes, so Wine's own share is in both). The program is then ended.
# The installer runs as a user starts it: stripped, under a campaign file name in the prefix
# user's download folder, fetching its documents from stand-in services started here; its log
# folder is removed after each run. One unmeasured start of each comes first (page cache, Wine's
# first loads). Prints the medians, the ratio and the aim (time at most 1.5x).
#
#   bench/wine_start_bench.sh [Linux build folder, default build] [Windows build folder, default build-win]
#                             [Windows build folder whose executable is sized, default the same;
#                              a Release one gives the figure that counts]
# RUNS (default 11) is the measured starts of each. Needs the Linux build's tarnwick_services and
# certificates, the Windows build's tarnwick_installer.exe (a development build) and
# bare_window.exe, Xvfb. Builds nothing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
linux_build=$(cd "${1:-build}" && pwd)
win_build=$(cd "${2:-build-win}" && pwd)
size_build=$(cd "${3:-$win_build}" && pwd)
runs=${RUNS:-11}
win_exe=$win_build/app/tarnwick_installer.exe
bare_exe=$win_build/bench/win/bare_window.exe
services=$linux_build/standin/services/tarnwick_services
ca=$linux_build/standin/certs/ca.pem
for f in "$win_exe" "$bare_exe" "$services" "$ca"; do
  [[ -f $f ]] || { echo "missing $f: build it first" >&2; exit 1; }
done

work=$(mktemp -d "$win_build/wine-start-bench.XXXXXX")
# shellcheck source=scripts/windows/wine-world.sh
. "$root/scripts/windows/wine-world.sh"
finish() {
  wine_world_end
  rm -rf "$work"
}
trap finish EXIT

# A private X server, the stand-in services, and a prefix of the bench's own whose session runs
# on that display.
wine_world_xserver "$work/x"
wine_world_services "$work/services" "$services" --record "$work/posts.jsonl"
port=$services_port
wine_world_prefix "$win_build" "$work"
user_dir=$wine_user_dir
rm -rf "$user_dir/AppData/Roaming/downloader"
mkdir -p "$user_dir/Downloads"
installer=$user_dir/Downloads/Tarnwick9_en_35036_x.exe
# Stripped, as users get it (the debug sections of a development build would be mapped too).
x86_64-w64-mingw32-strip -o "$installer" "$win_exe"
cp "$bare_exe" "$work/bare_window.exe"

now_ns() { date +%s%N; }

# start_once <program.exe> [environment...]: one start; prints "<ms> <resident KiB> <ms to the
# log's first line> <ms to the main window's creation>" (the last two 0 without a log), or fails
# when the program ends without saying "first-frame".
start_once() {
  local program=$1 fd pid line start end rss said=""
  shift
  start=$(now_ns)
  exec {fd}< <(cd "$(dirname "$program")" && exec env "$@" wine "$program" </dev/null 2>>"$work/programs.err")
  pid=$!
  while read -r -t 120 -u "$fd" line; do
    if [[ $line == first-frame* ]]; then said=1; break; fi
  done
  end=$(now_ns)
  rss=$(sed -n 's/^VmRSS:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status" 2>/dev/null || true)
  kill "$pid" 2>/dev/null || true
  # Whatever the program still prints is not read any more.
  exec {fd}<&-
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
  kill -KILL "$pid" 2>/dev/null || true
  # Where the installer's time went, from its log (complete once the program has ended): its
  # first line and the main window's creation.
  local log=$user_dir/AppData/Roaming/downloader/downloader.log opened=0 created=0
  if [[ -f $log ]]; then
    opened=$(log_ms "$(grep -a -m1 $'\twWinMain\t' "$log" | cut -f2)")
    created=$(log_ms "$(grep -a -m1 'create main' "$log" | cut -f2)")
  fi
  # The installer's log of this start goes: the next starts as on a fresh machine.
  rm -rf "$user_dir/AppData/Roaming/downloader"
  [[ -n $said ]] || { echo "$(basename "$program") ended without painting (see $work/programs.err)" >&2; return 1; }
  echo "$(((end - start) / 1000000)) ${rss:-0} $((opened ? opened - start / 1000000 : 0)) $((created ? created - start / 1000000 : 0))"
}

# log_ms <HH:MM:SS.mmm of today, local time, as the log writes it>: milliseconds since the epoch; 0 when empty.
log_ms() { if [[ -n $1 ]]; then date -d "today $1" +%s%3N; else echo 0; fi; }

installer_env=(TARNWICK_FIRST_FRAME=1 TARNWICK_SERVICES="localhost:$port" TARNWICK_CA_BUNDLE="$(windows_path "$ca")")
run_installer() { start_once "$installer" "${installer_env[@]}"; }
run_bare() { start_once "$work/bare_window.exe"; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "start to first painted window under Wine ($(wine --version)), display $DISPLAY, $runs runs each, taking turns"
run_installer >/dev/null
run_bare >/dev/null
: >"$work/installer.txt"
: >"$work/bare.txt"
for i in $(seq "$runs"); do
  if ((i % 2)); then order=(installer bare); else order=(bare installer); fi
  for who in "${order[@]}"; do
    read -r ms kib opened created < <("run_$who") || true
    [[ -n ${ms:-} ]] || exit 1
    printf '  run %2d %-9s %5d ms, resident %6.1f MiB' "$i" "$who" "$ms" "$(awk -v k="$kib" 'BEGIN { print k / 1024 }')"
    if [[ $who == installer ]]; then printf ' (log opened at %d ms, main window made at %d ms)' "$opened" "$created"; fi
    echo
    echo "$ms $kib $opened $created" >>"$work/$who.txt"
  done
done
it=$(cut -d' ' -f1 "$work/installer.txt" | median)
bt=$(cut -d' ' -f1 "$work/bare.txt" | median)
im=$(cut -d' ' -f2 "$work/installer.txt" | median)
bm=$(cut -d' ' -f2 "$work/bare.txt" | median)
# Over the runs whose log had the line.
io=$(awk '$3 > 0 { print $3 }' "$work/installer.txt" | median)
ic=$(awk '$4 > 0 { print $4 }' "$work/installer.txt" | median)
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "installer, medians: log opened at $io ms (Wine's start, the program's loading), main window made at $ic ms, painted at $it ms"
awk -v i="$it" -v b="$bt" 'BEGIN { r = i / b; printf "start to first painted window, medians: installer %d ms, bare window %d ms, ratio %.2f (aim: at most 1.5) %s\n", i, b, r, (r <= 1.5 ? "PASS" : "MISS") }'
awk -v i="$im" -v b="$bm" 'BEGIN { printf "resident memory then, medians: installer %.1f MiB, bare window %.1f MiB, ratio %.2f (Wine included in both)\n", i / 1024, b / 1024, i / b }'

# ---- The stripped Windows executable, with its window ----
aim=$((2 * 1024 * 1024))
x86_64-w64-mingw32-strip -o "$work/stripped.exe" "$size_build/app/tarnwick_installer.exe"
stripped=$(stat -c %s "$work/stripped.exe")
build_type=$(grep -m1 '^CMAKE_BUILD_TYPE' "$size_build/CMakeCache.txt" | cut -d= -f2)
awk -v b="$stripped" -v t="$build_type" -v a="$aim" 'BEGIN {
  printf "Windows executable, stripped, with its window and skin (%s build): %.3f MiB (%d bytes; aim: at most 2 MiB) %s\n",
         t, b / 1048576, b, (b <= a ? "PASS" : "MISS") }'
