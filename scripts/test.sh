#!/usr/bin/env bash
# Installs what the build needs, then builds and runs every test twice: an optimised build and a
# build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh core package daemon
jobs=$(nproc)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$jobs"
ctest --test-dir build/release --output-on-failure -j "$jobs"

cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUSKMERE_SANITIZE=ON
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
# The same frames from optimised, sanitized and unoptimised code.
cmake -S . -B build/O0 -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDUSKMERE_TESTS=OFF -DDUSKMERE_BENCH=OFF
cmake --build build/O0 -j "$jobs" --target duskmere-render
python3 tests/determinism/compare_builds.py build/release/tools/duskmere-render \
  build/sanitize/tools/duskmere-render build/O0/tools/duskmere-render
echo "all tests passed"
