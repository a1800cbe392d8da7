#!/usr/bin/env bash
# The Windows program's run (scripts/run.sh with TARGET=windows): sets up the machine, builds the
# Windows installer and the Windows stand-in emulator (BUILD_DIR, default build-win) and the
# stand-in services (LINUX_BUILD_DIR, default build), starts the services on a port of the run's
# own and runs tarnwick_installer.exe under Wine in a private demo world (DEMO_DIR, default
# <Linux build>/demo-win: a copy of the build folder's prefix, with its own registry, desktop and
# C:), with its window.
# On a desktop (DISPLAY set) the user installs with the window's buttons. Without a display it
# runs on a private X server and the development automation presses the buttons
# (TARNWICK_AUTOMATION=install, or cancel, leave, headless), writes a screenshot of each page and
# box it passed to <demo>/screens, then runs a second journey in which every download of the full
# installer fails, for the error box (its screenshots named "error-journey-..."; ERROR_JOURNEY=0
# leaves it out). Prints where the results are: the log, what the stand-in emulator programs
# recorded, the events the services received, the registry and the desktop.
# Arguments are the installer's command line; CAMPAIGN_NAME is its file name.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
scripts/setup.sh
scripts/windows/setup.sh
deps=$(scripts/windows/deps.sh)
BUILD_DIR=${BUILD_DIR:-build-win}
LINUX_BUILD_DIR=${LINUX_BUILD_DIR:-build}
jobs=$(nproc)

cmake -S . -B "$LINUX_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$LINUX_BUILD_DIR" -j "$jobs" --target tarnwick_services
linux_build=$(cd "$LINUX_BUILD_DIR" && pwd)
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DTARNWICK_WIN_DEPS="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_LINUX_BUILD_DIR="$linux_build" >/dev/null
cmake --build "$BUILD_DIR" -j "$jobs" --target tarnwick_installer tarnwick_standin_emulator
build=$(cd "$BUILD_DIR" && pwd)

DEMO=${DEMO_DIR:-$linux_build/demo-win}
rm -rf "$DEMO"
mkdir -p "$DEMO/screens"
DEMO=$(cd "$DEMO" && pwd)
# shellcheck source=scripts/windows/wine-world.sh
. scripts/windows/wine-world.sh
trap wine_world_end EXIT

automated=""
if [[ -z ${DISPLAY:-} ]]; then
  echo "No display: the window runs on a private X server and the automation presses its buttons."
  automated=1
  export TARNWICK_AUTOMATION=${TARNWICK_AUTOMATION-install}
  wine_world_xserver "$DEMO/x"
fi
automation=${TARNWICK_AUTOMATION:-}

services=$linux_build/standin/services/tarnwick_services
ca=$linux_build/standin/certs/ca.pem
emulator=$build/standin/emulator/tarnwick_standin_emulator.exe
campaign=${CAMPAIGN_NAME:-Tarnwick9_en_35036_demo.exe}

# journey <folder> <screens folder> [services options...] -- [installer arguments...]: one run
# of the installer in a world of its own under <folder>; its exit code in $status.
journey() {
  local dir=$1 screens=$2 services_args=() exe
  shift 2
  while (($#)) && [[ $1 != -- ]]; do services_args+=("$1"); shift; done
  (($#)) && shift
  # The Windows stand-in emulator served, padded as the Linux run serves it, as every full installer.
  wine_world_services "$dir" "$services" --record "$dir/services-records.jsonl" --installer-file "$emulator" \
    --installer-size $((32 << 20)) "${services_args[@]}"
  wine_world_prefix "$build" "$dir"
  # A machine the installer never ran on: no log of an earlier run in the build's prefix.
  rm -rf "$wine_user_dir/AppData/Roaming/downloader"
  mkdir -p "$wine_user_dir/Downloads"
  exe=$wine_user_dir/Downloads/$campaign
  cp "$build/app/tarnwick_installer.exe" "$exe"
  echo "Running $(windows_path "$exe") under Wine (prefix: $WINEPREFIX)"
  status=0
  (cd "$wine_user_dir/Downloads" &&
    env TARNWICK_SERVICES="localhost:$services_port" TARNWICK_CA_BUNDLE="$(windows_path "$ca")" \
      TARNWICK_STANDIN_RECORD="$(windows_path "$dir/standin-record.jsonl")" \
      TARNWICK_SCREENS="$(windows_path "$screens")" \
      wine "./$campaign" "$@" </dev/null) || status=$?
  # The emulator is started detached: give its record a moment to arrive.
  if [[ $automation == install || $automation == headless ]]; then
    for _ in $(seq 50); do grep -q '"role":"emulator"' "$dir/standin-record.jsonl" 2>/dev/null && break; sleep 0.1; done
  fi
}

# report <folder>: where the results of a journey are.
report() {
  local dir=$1 log key install_dir
  log=$wine_user_dir/AppData/Roaming/downloader/downloader.log
  echo "--- log: $log (last lines) ---"
  if [[ -f $log ]]; then tail -n 25 "$log" | tr -d '\r'; else echo "(none)"; fi
  echo "--- what the stand-in emulator programs recorded: $dir/standin-record.jsonl ---"
  cat "$dir/standin-record.jsonl" 2>/dev/null || echo "(nothing)"
  echo "--- events the stand-in services received: $dir/services-records.jsonl ---"
  if [[ -s $dir/services-records.jsonl ]]; then
    { jq -r 'select(.path == "/collection/biz/upload") | .body | fromjson | .[].eventKey' "$dir/services-records.jsonl" |
        sed 's/^/collection event /'
      jq -r 'select(.path == "/mp/collect") | .body | fromjson | .events[].name' "$dir/services-records.jsonl" |
        sed 's/^/analytics event  /'; } 2>/dev/null | sort | uniq -c || true
    echo "($(wc -l <"$dir/services-records.jsonl") posts)"
  else
    echo "(none)"
  fi
  key='HKCU\Software\Pellfor\Tarnwick9'
  install_dir=$(wine reg query "$key" /v InstallDir </dev/null 2>/dev/null | tr -d '\r' |
    sed -n 's/^ *InstallDir *REG_SZ *//p' || true)
  echo "--- $key InstallDir: ${install_dir:-(not set)} ---"
  if [[ -n $install_dir ]]; then ls "$(winepath -u "$install_dir" 2>/dev/null)" 2>/dev/null || true; fi
  echo "--- the desktop: $wine_user_dir/Desktop ---"
  ls "$wine_user_dir/Desktop" 2>/dev/null || true
}

journey "$DEMO" "$DEMO/screens" -- "$@"
main_status=$status
report "$DEMO"

if [[ -n $automated && $automation == install && ${ERROR_JOURNEY:-1} != 0 ]]; then
  echo
  echo "=== A journey in which every download of the full installer fails (the error box) ==="
  faults="$DEMO/error-journey-faults.json"
  wine_world_installer_faults '{"status":500}' >"$faults"
  mkdir -p "$DEMO/error-journey/screens"
  journey "$DEMO/error-journey" "$DEMO/error-journey/screens" --faults "$faults" -- "$@"
  report "$DEMO/error-journey"
  for shot in "$DEMO"/error-journey/screens/*.png; do
    [[ -e $shot ]] && cp "$shot" "$DEMO/screens/error-journey-$(basename "$shot")"
  done
fi

if compgen -G "$DEMO/screens/*.png" >/dev/null; then
  echo "--- screenshots: $DEMO/screens ---"
  ls "$DEMO/screens"
fi
exit "$main_status"
