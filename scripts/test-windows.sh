#!/usr/bin/env bash
# Builds the Windows programs and tests them under Wine on a private Xvfb: the renderer's hashes
# and pictures against the Linux renderer's, the full-screen saver's capture, the preview. The
# argument table runs with the Linux tests (test_windows).
# Usage: test-windows.sh [--cpu]   (--cpu: also the CPU use of the saver beside the X11 host's)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh core windows
scripts/build-windows.sh
# The Linux renderer is the reference; build it unless test.sh already has.
if [ ! -x build/release/tools/duskmere-render ] || { [ "${1:-}" = --cpu ] && [ ! -x build/release/platform/x11/duskmere ]; }; then
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
  cmake --build build/release -j "$(nproc)" --target duskmere-render duskmere
fi
python3 tests/windows/wine/run_wine_tests.py build/windows build/release/tools/duskmere-render \
  --vectors tests/data/vectors/hashes.txt --x11 build/release/platform/x11/duskmere "$@"
