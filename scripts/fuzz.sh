#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a
# number of seconds (default 30), seeded with files our own writers make.
#   scripts/fuzz.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
build_dir=build-fuzz
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DLUMORA_FUZZ=ON -DLUMORA_BUILD_PLAYER=OFF -DLUMORA_BUILD_TESTS=OFF
targets=(movie_fuzz grid_file_fuzz appended_fuzz pipeline_fuzz playlist_fuzz handoff_fuzz)
cmake --build "$build_dir" --target "${targets[@]}" make_seeds

seeds="$build_dir/seeds"
rm -rf "$seeds"
"$build_dir/fuzz/make_seeds" "$seeds" >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run() {
  local target=$1 corpus=$2
  local work="$build_dir/corpus/$target"
  mkdir -p "$work"
  echo "== $target for ${seconds}s"
  (cd "$build_dir" && "./fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=262144 -print_final_stats=1 "corpus/$target" "seeds/$corpus")
}
run movie_fuzz movie
run grid_file_fuzz grid
run appended_fuzz appended
run pipeline_fuzz pipeline
run playlist_fuzz playlist
run handoff_fuzz handoff
