#!/usr/bin/env bash
# Builds Duskmere and shows it: in a window when a display is available, otherwise as a PNG
# preview of the city after 6000 ticks (200 seconds of animation, so windows are lit).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$(nproc)"

if [ -n "${DISPLAY:-}" ] && [ -x build/release/platform/x11/duskmere ] && xdpyinfo >/dev/null 2>&1; then
  exec build/release/platform/x11/duskmere "$@"
fi
mkdir -p out
build/release/tools/duskmere-render --bounds 1440x900 --frames 6000 --out out/duskmere-preview.png "$@"
echo "no display: wrote out/duskmere-preview.png (1440 x 900 points, after 6000 frames)"
