#!/usr/bin/env bash
# Runs a Windows program of a build folder under Wine, in that folder's private prefix (made on
# first use). CMake's CMAKE_CROSSCOMPILING_EMULATOR for the Windows build's tests:
#   scripts/windows/wine-run.sh <build folder> <program.exe> [arguments...]
# The exit code is the program's. Programs get the session's X server (wine-session.sh) as their
# display, or none: never the display of the shell that runs the tests.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:?usage: wine-run.sh <build folder> <program.exe> [arguments...]}
shift
"$here/wine-prefix.sh" "$build" >/dev/null
# shellcheck source=scripts/windows/wine-env.sh
. "$here/wine-env.sh" "$build"
unset WAYLAND_DISPLAY
if [[ -f $build/wine/display ]]; then
  export DISPLAY
  DISPLAY=$(cat "$build/wine/display")
else
  unset DISPLAY
fi
exec wine "$@"
