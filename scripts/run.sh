#!/usr/bin/env bash
# Sets up the machine, builds, starts the stand-in services on 127.0.0.1:47443 and runs the
# installer's main job against them in a private demo world (build/demo: home folder, app data,
# registry, desktop): download, silent installation of the stand-in emulator, personalisation and
# the emulator's start, with no window yet (TARNWICK_AUTOMATION=install, development builds
# only). Ctrl-C ends the run in order.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target tarnwick_installer
# (The target list is read whole first: grep -q would end the pipe early under pipefail.)
targets=$(cmake --build "$BUILD_DIR" --target help)
if grep -q '^tarnwick_services:' <<<"$targets"; then
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target tarnwick_services
fi

DEMO="$PWD/$BUILD_DIR/demo"
rm -rf "$DEMO"
mkdir -p "$DEMO/home/Desktop" "$DEMO/run" "$DEMO/dl"
chmod 700 "$DEMO/run"
export HOME="$DEMO/home" XDG_DATA_HOME="$DEMO/home/.local/share" XDG_CONFIG_HOME="$DEMO/home/.config"
export XDG_RUNTIME_DIR="$DEMO/run" XDG_DESKTOP_DIR="$DEMO/home/Desktop"

SERVICES="$BUILD_DIR/standin/services/tarnwick_services"
if [[ -x "$SERVICES" ]]; then
  "$SERVICES" --record "$DEMO/services-records.jsonl" >"$DEMO/services.log" 2>&1 &
  SERVICES_PID=$!
  trap 'kill $SERVICES_PID 2>/dev/null || true' EXIT
  # The installer fetches its documents at once: wait until the services listen.
  for _ in $(seq 100); do
    (exec 3<>/dev/tcp/127.0.0.1/47443) 2>/dev/null && break
    sleep 0.1
  done
fi
# What the stand-in emulator programs did (installer, emulator start) goes here.
export TARNWICK_STANDIN_RECORD="$DEMO/standin-record.jsonl"
export TARNWICK_AUTOMATION=${TARNWICK_AUTOMATION-install}

# The installer learns its campaign from its own file name.
INSTALLER="$DEMO/dl/${CAMPAIGN_NAME:-Tarnwick9_en_35036_demo.exe}"
cp "$BUILD_DIR/app/tarnwick_installer" "$INSTALLER"
echo "Running $INSTALLER (log: $XDG_DATA_HOME/downloader/downloader.log)"
status=0
"$INSTALLER" "$@" || status=$?
echo "--- log: $XDG_DATA_HOME/downloader/downloader.log (last lines) ---"
tail -n 25 "$XDG_DATA_HOME/downloader/downloader.log"
echo "--- what the stand-in emulator programs recorded: $TARNWICK_STANDIN_RECORD ---"
cat "$TARNWICK_STANDIN_RECORD" 2>/dev/null || echo "(nothing)"
echo "--- events the stand-in services received: $DEMO/services-records.jsonl ---"
wc -l <"$DEMO/services-records.jsonl" 2>/dev/null || echo "(none)"
exit $status
