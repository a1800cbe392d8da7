#!/usr/bin/env bash
# Builds the fuzz targets with clang (folder build-fuzz) and runs each over its seeds and
# dictionary. SECONDS_PER_TARGET=0 (the default) only replays the seeds (CI's smoke check);
# more fuzzes each target that long, new inputs kept in build-fuzz/fuzz/work/<target>.
# TARGETS chooses some targets (names without "fuzz_"). Runs niced: fuzzing yields to builds.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build-fuzz}
SECONDS_PER_TARGET=${SECONDS_PER_TARGET:-0}
TARGETS=${TARGETS:-"player_info campaign_document campaign_parser profile_writer registry_reader sanitisers xml_document layout_loader"}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DTARNWICK_BUILD_FUZZERS=ON -DTARNWICK_BUILD_TESTS=OFF \
  -DTARNWICK_BUILD_BENCHMARKS=OFF >/dev/null
# shellcheck disable=SC2046  # one word per target
cmake --build "$BUILD_DIR" -j "$(nproc)" --target $(printf 'fuzz_%s ' $TARGETS)
for target in $TARGETS; do
  seeds=fuzz/corpus/$target
  dict=fuzz/$target.dict
  work=$BUILD_DIR/fuzz/work/$target
  mkdir -p "$work"
  args=(-dict="$dict" -artifact_prefix="$work/" -print_final_stats=1)
  if [[ $SECONDS_PER_TARGET -eq 0 ]]; then
    args+=(-runs=0)
  else
    args+=(-max_total_time="$SECONDS_PER_TARGET" "$work")
  fi
  echo "== fuzz_$target"
  nice -n 19 "$BUILD_DIR/fuzz/fuzz_$target" "${args[@]}" "$seeds" 2>&1 | grep -E "stat::number_of_executed_units|Done|ERROR|SUMMARY"
done
