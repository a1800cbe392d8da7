#!/usr/bin/env bash
# The Windows build and its tests under Wine (scripts/test.sh with TARGET=windows):
#   1. set-up (scripts/setup.sh, then the cross compiler and Wine), the Windows dependencies
#      (built once into a cache outside the clone by scripts/windows/deps.sh);
#   2. the Linux programs the tests need on the Linux side (the stand-in services and their test
#      certificates), in the Linux build folder (LINUX_BUILD_DIR, default build);
#   3. the Windows build (BUILD_DIR, default build-win) with the mingw-w64 toolchain;
#   4. the stand-in services on loopback, on ports of this run's own, named to the Windows tests
#      as TARNWICK_TEST_SERVICES ("https://localhost:<port>": Wine's TLS checks the name, and the
#      certificates name localhost), TARNWICK_TEST_SERVICES_ROGUE (a certificate of another CA),
#      TARNWICK_TEST_SERVICES_WRONGHOST (a certificate for another name) and TARNWICK_TEST_CA
#      (the test CA's PEM file as a Windows path);
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

services_pids=()
stop_all() {
  for pid in "${services_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${services_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  "$root/scripts/windows/wine-session.sh" stop "$build"
}
trap stop_all EXIT

# start_services <name> [options...]: starts the stand-in services on a port of their own and
# sets $address to "https://localhost:<port>" (Wine's TLS checks the name: the certificates name
# localhost).
start_services() {
  local name=$1 fifo line fd
  shift
  fifo=$build/.services-$name.$$
  rm -f "$fifo"
  mkfifo "$fifo"
  "$linux_build/standin/services/tarnwick_services" --host 127.0.0.1 --port 0 "$@" \
    >"$fifo" 2>"$build/services-$name.log" &
  services_pids+=($!)
  # Read the first line only; the reader is left open so that the services never block on a write.
  exec {fd}<"$fifo"
  rm -f "$fifo"
  if ! read -r -t 60 line <&"$fd" || [[ $line != "listening on https://"* ]]; then
    echo "test.sh: the stand-in services ($name) did not start (see $build/services-$name.log)" >&2
    return 1
  fi
  address="https://localhost:${line##*:}"
}

# The services serve the Windows stand-in emulator as the full installer when the build has it.
# Beside them, two with certificates a client must refuse: another CA's, and another name's.
certs=$linux_build/standin/certs
installer_args=()
win_emulator=$build/standin/emulator/tarnwick_standin_emulator.exe
if [[ -f $win_emulator ]]; then installer_args=(--installer-file "$win_emulator"); fi
start_services main --record "$build/services-records.jsonl" "${installer_args[@]}"
TARNWICK_TEST_SERVICES=$address
start_services rogue --cert "$certs/rogue-server.pem" --key "$certs/rogue-server.key"
TARNWICK_TEST_SERVICES_ROGUE=$address
start_services wronghost --cert "$certs/wronghost-server.pem" --key "$certs/wronghost-server.key"
TARNWICK_TEST_SERVICES_WRONGHOST=$address
TARNWICK_TEST_CA="Z:${certs//\//\\}\\ca.pem"  # the prefix's Z: is the Linux root
export TARNWICK_TEST_SERVICES TARNWICK_TEST_SERVICES_ROGUE TARNWICK_TEST_SERVICES_WRONGHOST TARNWICK_TEST_CA
echo "test.sh: stand-in services at $TARNWICK_TEST_SERVICES (others: $TARNWICK_TEST_SERVICES_ROGUE," \
  "$TARNWICK_TEST_SERVICES_WRONGHOST), CA $TARNWICK_TEST_CA"

cd "$build"
# shellcheck disable=SC2086  # CTEST_ARGS holds several options
ctest --output-on-failure -j "$jobs" --timeout 600 ${CTEST_ARGS:-}
