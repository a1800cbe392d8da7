#!/usr/bin/env bash
# Sets up the machine, builds, starts the stand-in services on 127.0.0.1:47443 and runs the
# installer against them in a private demo world (build/demo: home folder, app data, registry,
# desktop), with its window. On a desktop (DISPLAY set) the user installs with the window's
# buttons. Without a display (a server, CI) it runs on a private X server (xvfb-run) and a
# development-only automation presses the buttons (TARNWICK_AUTOMATION=install), writes a
# screenshot of each page and box it passed to build/demo/screens and prints what was installed,
# written, launched and reported. Ctrl-C ends the run in order.
# TARGET=windows runs the Windows program under Wine instead (scripts/windows/run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${TARGET:-} == windows ]]; then exec scripts/windows/run.sh "$@"; fi
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
export TARNWICK_SCREENS="$DEMO/screens"
WRAP=()
if [[ -z "${DISPLAY:-}" ]]; then
  echo "No display: the window runs on a private X server and the automation presses its buttons."
  export TARNWICK_AUTOMATION=${TARNWICK_AUTOMATION-install} NO_AT_BRIDGE=1
  WRAP=(xvfb-run -a -s "-screen 0 1280x1024x24")
fi

# The installer learns its campaign from its own file name.
INSTALLER="$DEMO/dl/${CAMPAIGN_NAME:-Tarnwick9_en_35036_demo.exe}"
cp "$BUILD_DIR/app/tarnwick_installer" "$INSTALLER"
echo "Running $INSTALLER (log: $XDG_DATA_HOME/downloader/downloader.log)"
status=0
"${WRAP[@]}" "$INSTALLER" "$@" || status=$?
echo "--- log: $XDG_DATA_HOME/downloader/downloader.log (last lines) ---"
tail -n 25 "$XDG_DATA_HOME/downloader/downloader.log"
echo "--- what the stand-in emulator programs recorded: $TARNWICK_STANDIN_RECORD ---"
cat "$TARNWICK_STANDIN_RECORD" 2>/dev/null || echo "(nothing)"
echo "--- events the stand-in services received: $DEMO/services-records.jsonl ---"
if [[ -s "$DEMO/services-records.jsonl" ]]; then
  # One JSON line per post: the collection batches' event keys, the analytics events' names.
  records="$DEMO/services-records.jsonl"
  { grep -o 'eventKey\\": \\"[^\\]*' "$records" | sed 's/.*\\"/collection event /'
    grep -o '\\"name\\":\\"[^\\]*' "$records" | sed 's/.*\\"/analytics event  /'; } | sort | uniq -c || true
  echo "($(wc -l <"$DEMO/services-records.jsonl") posts)"
else
  echo "(none)"
fi
if compgen -G "$TARNWICK_SCREENS/*.png" >/dev/null; then
  echo "--- screenshots: $TARNWICK_SCREENS ---"
  ls "$TARNWICK_SCREENS"
fi
exit $status
