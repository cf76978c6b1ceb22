#!/usr/bin/env bash
# Builds Duskmere and shows it: in an X11 window when an X display is available, in a Wayland
# window in a Wayland session without one, otherwise as a PNG preview of the city after 6000 ticks
# (200 seconds of animation, so windows are lit). Only the program it runs is built: the tests and
# benchmarks are left to scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

wayland_socket=${WAYLAND_DISPLAY:-}
[ -z "$wayland_socket" ] || [ "${wayland_socket:0:1}" = / ] || wayland_socket=${XDG_RUNTIME_DIR:-}/$wayland_socket
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  target=duskmere program=(build/release/platform/x11/duskmere)
elif [ -n "${WAYLAND_DISPLAY:-}" ] && [ -S "$wayland_socket" ]; then
  target=duskmere-wayland program=(build/release/platform/wayland/duskmere-wayland --window)
else
  target=duskmere-render program=()
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache) && export CCACHE_BASEDIR="$PWD"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DDUSKMERE_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build build/release -j "$(nproc)" --target "$target"

if [ ${#program[@]} -gt 0 ]; then
  exec "${program[@]}" "$@"
fi
mkdir -p out
build/release/tools/duskmere-render --bounds 1440x900 --frames 6000 --out out/duskmere-preview.png "$@"
echo "no display: wrote out/duskmere-preview.png (1440 x 900 points, after 6000 frames)"
