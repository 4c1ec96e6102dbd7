#!/usr/bin/env bash
# Builds the project and runs the demo. Until the player window exists this
# is the headless raster demo: an animated neon scene rendered to PNG frames.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target lumora-raster-demo
./build/tools/lumora-raster-demo out/demo 24
