#!/usr/bin/env bash
# Opens the playground: installs what is missing (the wasm toolchain, node and npm from Debian, the
# npm packages of web/package-lock.json), builds vorcollide.wasm and the level data, and serves the
# page on this machine only. Prints the address to open in a browser; Ctrl-C stops it.
#   bash scripts/playground.sh [PORT]      (default 8631; 0 picks a free port)
#   bash scripts/playground.sh --install-only
set -euo pipefail
cd "$(dirname "$0")/.."

source scripts/lib/packages.sh
bash scripts/ensure-packages.sh "${VOR_WASM_TOOLCHAIN[@]}" cmake make chromium
# Debian's node and npm, unless the machine has them already.
command -v node >/dev/null || bash scripts/ensure-packages.sh nodejs
command -v npm >/dev/null || bash scripts/ensure-packages.sh npm
[ "${1:-}" = "--install-only" ] && exit 0

bash web/build.sh build/web
if [ ! -f web/node_modules/.package-lock.json ] || [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
    (cd web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi
echo "open the address below in a browser (Ctrl-C stops the server)"
exec node web/serve.mjs "${1:-8631}" build/web
