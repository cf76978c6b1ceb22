#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need (only those missing).
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config python3 clang
          libgtest-dev libgmock-dev libbenchmark-dev libcairo2-dev libx11-dev
          xvfb x11-utils xdotool)
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
