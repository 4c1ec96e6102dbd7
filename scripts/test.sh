#!/usr/bin/env bash
# Builds the project and runs every test.
#   scripts/test.sh                     release build in build/
#   scripts/test.sh --sanitize          AddressSanitizer + UndefinedBehaviorSanitizer build in build-asan/
#   scripts/test.sh --sanitize=thread   ThreadSanitizer build in build-tsan/
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "${1:-}" in
  --sanitize | --sanitize=address)
    build_dir=build-asan
    options=(-DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=address)
    ;;
  --sanitize=thread)
    build_dir=build-tsan
    options=(-DCMAKE_BUILD_TYPE=Debug -DLUMORA_SANITIZE=thread)
    ;;
  "") ;;
  *)
    echo "usage: $0 [--sanitize | --sanitize=address | --sanitize=thread]" >&2
    exit 2
    ;;
esac

jobs=$(nproc)
cmake -S . -B "$build_dir" -G Ninja -DLUMORA_WERROR=ON "${options[@]}"
cmake --build "$build_dir" -j "$jobs"

# Qt tests draw off screen; the sanitizers stop at the first error.
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
ctest --test-dir "$build_dir" --output-on-failure -j "$jobs"
