#!/usr/bin/env bash
# Builds the project and starts the player on the bundled demo show (a play
# list of the demo movies, written by the build beside the player).
#   scripts/demo.sh            the player window (needs a display)
#   scripts/demo.sh --headless the demo's frames rendered to out/demo/ instead
set -euo pipefail
cd "$(dirname "$0")/.."

# An existing build folder keeps its configuration (a sanitizer or benchmark
# setting, say); a new one is configured once.
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build build -j "$(nproc)" --target lumora lumora-render demo_show

if [ "${1:-}" = "--headless" ]; then
  mkdir -p out/demo
  ./build/tools/lumora-render build/tools/demo.lst --frames 0-23 --out out/demo/frame-%04d.png
  echo "wrote out/demo/frame-0000.png … frame-0023.png"
else
  exec ./build/tools/lumora build/tools/demo.lst
fi
