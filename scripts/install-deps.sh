#!/usr/bin/env bash
# Installs the Debian packages that a group of jobs needs (only those missing).
# Usage: install-deps.sh [GROUP...], groups as below; no group means core.
set -euo pipefail
declare -A groups=(
  # The Linux build, its tests and the programs.
  [core]="build-essential cmake ninja-build pkg-config python3 clang
          libgtest-dev libgmock-dev libbenchmark-dev libcairo2-dev libpng-dev libx11-dev
          libxext-dev libwayland-dev wayland-protocols plasma-wayland-protocols libsystemd-dev
          xvfb x11-utils xdotool ccache"
  # The Windows programs: cross-built with mingw-w64, tested under Wine with Xvfb.
  [windows]="cmake ninja-build python3 ccache g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
             wine wine64 xvfb x11-xserver-utils xdotool"
  # The browser page (Emscripten) and its tests in headless Chromium and Firefox ESR, driven
  # from node.
  [web]="emscripten nodejs chromium firefox-esr"
  # Only where node came without its own npm (Debian's nodejs does; other builds bundle it).
  [npm]="npm"
  # The tests of duskmere-wayland against headless sway, weston, KWin and mutter: grim reads
  # sway's outputs back, wtype types, swayidle launches the saver; mutter's screen casts go
  # through PipeWire into GStreamer; KWin and mutter are driven over their session bus from
  # Debian's python3 with gi (KWin's fake input XML, for our input client, is in core). KWin's
  # own QML modules are only recommended, and recommendations are not installed here.
  [wayland]="sway grim wtype swayidle weston kwin-wayland mutter pipewire wireplumber
             gstreamer1.0-pipewire gstreamer1.0-plugins-base gir1.2-gstreamer-1.0 python3-gi
             dbus-daemon qml-module-qtquick2 qml-module-qtquick-window2 qml-module-qtquick-layouts"
  # The Debian package (CPack's dependency scan, the package checker) and the test of duskmere
  # under the real xscreensaver daemon (xwd reads the screen back).
  [package]="cmake ninja-build dpkg-dev file lintian xscreensaver xvfb x11-apps python3"
)
[ $# -gt 0 ] || set -- core
packages=()
for g in "$@"; do
  [ -n "${groups[$g]+set}" ] || { echo "install-deps.sh: unknown group '$g'" >&2; exit 2; }
  read -r -a list <<< "$(echo ${groups[$g]})"
  packages+=("${list[@]}")
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
