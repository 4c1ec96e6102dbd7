#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench/) and runs them: the Google
# Benchmark table, then a summary of the figures and ratios that
# bench/RESULTS.md records. The program may use every core: the threaded
# figures need them, and the one-thread figures draw on one thread whatever
# the cores. Extra arguments go to the benchmark program, e.g.
# --benchmark_filter=Frame.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-bench
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMORA_BUILD_BENCH=ON \
  -DLUMORA_BUILD_PLAYER=OFF -DLUMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target lumora-bench -j "$(nproc)"

"$build_dir/bench/lumora-bench" "$@"
