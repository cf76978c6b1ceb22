#!/usr/bin/env bash
# Cross-builds the Windows programs into build/windows: Duskmere.scr, DuskmereCampfire.scr and
# duskmere-render.exe (and the test helper tests/preview-parent.exe), with Debian's mingw-w64.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh windows
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DBUILD_TESTING=OFF -DDUSKMERE_BENCH=OFF "${launcher[@]}"
cmake --build build/windows -j "${DUSKMERE_JOBS:-$(nproc)}"
ls build/windows/*.scr build/windows/*.exe
