#!/usr/bin/env bash
# Installs what the build needs, then builds and runs every test: an optimised build and a build
# with AddressSanitizer and UndefinedBehaviorSanitizer, the same frames from unoptimised code,
# the Windows programs under Wine and the page in a headless browser.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh core wayland windows web package
jobs=$(nproc)
# A compiler cache, where one is installed, makes repeated runs cheap; a fresh machine builds in full.
# Its paths are taken relative to the checkout, and the build folder is left out of what it hashes
# for objects with debug information, so that another clone of the same sources hits it.
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache) && export CCACHE_BASEDIR="$PWD" \
  CCACHE_NOHASHDIR=1
stage() { echo "== $* ($(date +%T))"; }

stage "optimised build and tests"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=ON -DDUSKMERE_BENCH=ON "${launcher[@]}"
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

stage "sanitizer build and tests"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUSKMERE_SANITIZE=ON -DBUILD_TESTING=ON \
  "${launcher[@]}"
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs" -LE 'daemon|package|macos'

stage "the same frames from optimised, sanitized and unoptimised code"
cmake -S . -B build/O0 -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBUILD_TESTING=OFF -DDUSKMERE_BENCH=OFF "${launcher[@]}"
cmake --build build/O0 -j "$jobs" --target duskmere-render
python3 tests/determinism/compare_builds.py build/release/tools/duskmere-render \
  build/sanitize/tools/duskmere-render build/O0/tools/duskmere-render

stage "Windows programs under Wine"
scripts/test-windows.sh
stage "the page in headless Chromium and Firefox"
scripts/test-web.sh
stage "done"
echo "all tests passed"
