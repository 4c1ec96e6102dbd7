#!/usr/bin/env bash
# Builds the project and runs every test.
#   scripts/test.sh             release build in build/
#   scripts/test.sh --sanitize  AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build_dir=build-asan
  options=(-DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=ON)
fi

jobs=$(nproc)
cmake -S . -B "$build_dir" -G Ninja -DLUMORA_WERROR=ON "${options[@]}"
cmake --build "$build_dir" -j "$jobs"

# Qt tests draw off screen; the sanitizers stop at the first error.
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
