#!/usr/bin/env bash
# Builds the browser page and checks it in Debian's headless Chromium and Firefox ESR: its hash
# lines and its screenshots at backing scales 1, 2 and 1.5 against duskmere-render, and its
# message for bad parameters. Nothing downloads a browser: puppeteer-core drives
# /usr/bin/chromium and /usr/bin/firefox-esr.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
scripts/build-web.sh

# The reference renderer, from the Linux build (only the one program if nothing is built yet).
scripts/install-deps.sh core
[ -f build/release/build.ninja ] || cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j "$jobs" --target duskmere-render

command -v npm >/dev/null || scripts/install-deps.sh npm
cd tests/web
export PUPPETEER_SKIP_DOWNLOAD=1
# npm ci starts from nothing each time; do it only when the lock file changed.
if ! cmp -s package-lock.json node_modules/.installed-lock 2>/dev/null; then
  npm ci --no-audit --no-fund --ignore-scripts
  cp package-lock.json node_modules/.installed-lock
fi
node --test
