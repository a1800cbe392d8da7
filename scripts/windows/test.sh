#!/usr/bin/env bash
# The Windows build and its tests under Wine (scripts/test.sh with TARGET=windows):
#   1. set-up (scripts/setup.sh, then the cross compiler and Wine), the Windows dependencies
#      (built once into a cache outside the clone by scripts/windows/deps.sh);
#   2. the Linux programs the tests need on the Linux side (the stand-in services and their test
#      certificates), in the Linux build folder (LINUX_BUILD_DIR, default build);
#   3. the Windows build (BUILD_DIR, default build-win) with the mingw-w64 toolchain;
#   4. the stand-in services on loopback, on a port of this run's own, their address and CA given
#      to the Windows tests as TARNWICK_TEST_SERVICES ("localhost:<port>": Wine's TLS checks the
#      name, and the certificate names localhost) and TARNWICK_TEST_CA (the CA's PEM file as a
#      Windows path);
#   5. ctest, each test program under Wine in the build folder's private prefix (its session is a
#      CTest fixture: started once before the tests, ended after them);
#   6. the services stopped and the prefix's programs ended, whatever happened.
# BUILD_TYPE, CMAKE_ARGS, TARGETS and CTEST_ARGS work as in scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
scripts/setup.sh
scripts/windows/setup.sh
deps=$(scripts/windows/deps.sh)
BUILD_DIR=${BUILD_DIR:-build-win}
LINUX_BUILD_DIR=${LINUX_BUILD_DIR:-build}
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
jobs=$(nproc)

cmake -S . -B "$LINUX_BUILD_DIR" -G Ninja >/dev/null
cmake --build "$LINUX_BUILD_DIR" -j "$jobs" --target tarnwick_services
linux_build=$(cd "$LINUX_BUILD_DIR" && pwd)

# shellcheck disable=SC2086  # CMAKE_ARGS holds several options
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchains/mingw-w64-x86_64.cmake" \
  -DTARNWICK_WIN_DEPS="$deps" -DCMAKE_BUILD_TYPE="$BUILD_TYPE" -DTARNWICK_LINUX_BUILD_DIR="$linux_build" \
  ${CMAKE_ARGS:-} >/dev/null
# shellcheck disable=SC2086  # TARGETS holds several words
cmake --build "$BUILD_DIR" -j "$jobs" ${TARGETS:+--target $TARGETS}
build=$(cd "$BUILD_DIR" && pwd)

services_pid=""
stop_all() {
  if [[ -n $services_pid ]]; then
    kill "$services_pid" 2>/dev/null || true
    wait "$services_pid" 2>/dev/null || true
  fi
  "$root/scripts/windows/wine-session.sh" stop "$build"
}
trap stop_all EXIT

# The stand-in services serve the Windows stand-in emulator as the full installer when the
# build has it.
services_args=(--host 127.0.0.1 --port 0 --record "$build/services-records.jsonl")
win_emulator=$build/standin/emulator/tarnwick_standin_emulator.exe
if [[ -f $win_emulator ]]; then services_args+=(--installer-file "$win_emulator"); fi
mkfifo "$build/.services-out.$$"
"$linux_build/standin/services/tarnwick_services" "${services_args[@]}" >"$build/.services-out.$$" 2>"$build/services.log" &
services_pid=$!
exec 8<"$build/.services-out.$$"
rm -f "$build/.services-out.$$"
if ! read -r -t 60 line <&8 || [[ $line != "listening on https://"* ]]; then
  echo "test.sh: the stand-in services did not start (see $build/services.log)" >&2
  exit 1
fi
port=${line##*:}
# The rest of its output is not read; the reader stays open so that it never blocks on a write.
ca=$linux_build/standin/certs/ca.pem
export TARNWICK_TEST_SERVICES="localhost:$port"
export TARNWICK_TEST_CA="Z:${ca//\//\\}"  # the prefix's Z: is the Linux root
echo "test.sh: stand-in services at $TARNWICK_TEST_SERVICES, CA $TARNWICK_TEST_CA"

cd "$build"
# shellcheck disable=SC2086  # CTEST_ARGS holds several options
ctest --output-on-failure -j "$jobs" --timeout 600 ${CTEST_ARGS:-}
