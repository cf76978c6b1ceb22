#!/usr/bin/env bash
# Builds the browser page into build/web/: index.html, its style sheet, its script and
# duskmere.js (the scenes as WebAssembly, embedded). The folder works as it stands, opened from
# disk or put on any static host. Prints the size of the page gzipped.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh core web

# Debian's emcc runs its JavaScript tools with the machine's node and needs Debian's node
# modules (acorn); a node from elsewhere does not look there by itself.
export NODE_PATH="/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}"

emcmake cmake -S . -B build/wasm -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DBUILD_TESTING=OFF -DDUSKMERE_BENCH=OFF >/dev/null
cmake --build build/wasm -j "${JOBS:-2}" --target duskmere-web

rm -rf build/web.new
mkdir -p build/web.new
cp build/wasm/web/index.html build/wasm/web/duskmere.css build/wasm/web/host.js build/wasm/web/duskmere.js build/web.new/
rm -rf build/web
mv build/web.new build/web
bytes=$(cat build/web/* | gzip -9 | wc -c)
echo "build/web: $(du -cb build/web/* | tail -1 | cut -f1) bytes, $bytes bytes gzipped"
