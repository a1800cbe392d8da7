#!/usr/bin/env bash
# Sets up the machine, builds everything and runs all tests.
# BUILD_DIR (default build), BUILD_TYPE (default RelWithDebInfo) and CMAKE_ARGS (further cmake
# options) choose another build, as CI does.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo}
# shellcheck disable=SC2086  # CMAKE_ARGS holds several options
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE="$BUILD_TYPE" ${CMAKE_ARGS:-} >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)" --timeout 600
