#!/usr/bin/env bash
# Builds the Debian package: build/release/duskmere_<version>_amd64.deb (Release build, CPack),
# then checks its contents, its control fields and lintian's verdict.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh core package
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build/release -j "$(nproc)"
rm -f build/release/duskmere_*_amd64.deb
(cd build/release && cpack -G DEB)
deb=$(ls build/release/duskmere_*_amd64.deb)
python3 tests/package/check_package.py "$deb"
echo "package: $deb"
echo "install it with: sudo apt install ./$deb"
