#!/usr/bin/env bash
# Starts or ends the Wine session of a build folder's prefix, around a run of its tests:
#   scripts/windows/wine-session.sh start <build folder>
#   scripts/windows/wine-session.sh stop <build folder>
# "start" makes the prefix if needed, then starts a persistent wineserver and Wine's background
# services once, with no terminal or pipe of the caller: started by the first test instead, they
# would keep ctest's output pipe open and ctest would wait for them forever. "stop" ends every
# program of the prefix and its wineserver.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
action=${1:?usage: wine-session.sh start|stop <build folder>}
build=${2:?usage: wine-session.sh start|stop <build folder>}
case $action in
  start)
    "$here/wine-prefix.sh" "$build" >/dev/null
    # shellcheck source=scripts/windows/wine-env.sh
    . "$here/wine-env.sh" "$build"
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    [[ -d $build/wine/prefix ]] || exit 0
    # shellcheck source=scripts/windows/wine-env.sh
    . "$here/wine-env.sh" "$build"
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    ;;
  *) echo "wine-session: unknown action $action" >&2; exit 2 ;;
esac
