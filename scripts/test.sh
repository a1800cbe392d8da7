#!/usr/bin/env bash
# Sets up the machine, builds everything and runs all tests.
# BUILD_DIR (default build), BUILD_TYPE (default RelWithDebInfo) and CMAKE_ARGS (further cmake
# options) choose another build, as CI does; TARGETS (default all) builds only some targets,
# and CTEST_ARGS (further ctest options) chooses among the tests. TARGET=windows builds the
# Windows executable and runs its tests under Wine instead (scripts/windows/test.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ ${TARGET:-linux} == windows ]]; then exec scripts/windows/test.sh; fi
[[ ${TARGET:-linux} == linux ]] || { echo "test.sh: TARGET is linux or windows, not $TARGET" >&2; exit 2; }
scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
# shellcheck disable=SC2086  # CMAKE_ARGS holds several options
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" ${CMAKE_ARGS:-} >/dev/null
# shellcheck disable=SC2086  # TARGETS and CTEST_ARGS hold several words
cmake --build "$BUILD_DIR" -j "$(nproc)" ${TARGETS:+--target $TARGETS}
cd "$BUILD_DIR"
# shellcheck disable=SC2086
ctest --output-on-failure -j "$(nproc)" --timeout 600 ${CTEST_ARGS:-}
