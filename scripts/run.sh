#!/usr/bin/env bash
# Sets up the machine, builds, starts the stand-in services on 127.0.0.1:47443 and runs the
# installer's main job against them in a private demo world (build/demo: home folder, app data,
# registry, desktop). Ctrl-C (or closing the window) ends the run in order.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target tarnwick_installer
if cmake --build "$BUILD_DIR" --target help | grep -q '^tarnwick_services:'; then
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
  "$SERVICES" >"$DEMO/services.log" 2>&1 &
  SERVICES_PID=$!
  trap 'kill $SERVICES_PID 2>/dev/null || true' EXIT
fi

# The installer learns its campaign from its own file name.
INSTALLER="$DEMO/dl/${CAMPAIGN_NAME:-Tarnwick9_en_35036_demo.exe}"
cp "$BUILD_DIR/app/tarnwick_installer" "$INSTALLER"
echo "Running $INSTALLER (log: $XDG_DATA_HOME/downloader/downloader.log)"
status=0
"$INSTALLER" "$@" || status=$?
echo "--- log ---"
cat "$XDG_DATA_HOME/downloader/downloader.log"
exit $status
