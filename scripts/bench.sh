#!/usr/bin/env bash
# Builds the benchmarks (Release, in build-bench/) and runs them on one core:
# the Google Benchmark table, then a summary of the figures and ratios that
# bench/RESULTS.md records. Extra arguments go to the benchmark program,
# e.g. --benchmark_filter=RenderFrame.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-bench
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMORA_BUILD_BENCH=ON \
  -DLUMORA_BUILD_PLAYER=OFF -DLUMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" --target lumora-bench -j "$(nproc)"

pin=()
if command -v taskset >/dev/null; then pin=(taskset -c 0); fi
"${pin[@]}" "$build_dir/bench/lumora-bench" "$@"
