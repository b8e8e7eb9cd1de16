#!/usr/bin/env bash
# The playground in a real browser: builds the wasm module and the Linux vorcollide-scene, installs
# three.js and puppeteer-core with `npm ci` (no browser download: Debian's chromium is used), serves
# the page on the loopback interface and runs web/tests/browser_test.mjs against it. Closes with
# "playground: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

source scripts/lib/checks.sh
count_check playground

require_setup playground bash scripts/playground.sh --install-only
step "vorcollide.wasm and the level data build" bash web/build.sh build/web
step "npm ci installs three.js and puppeteer-core from web/package-lock.json" \
    bash -c 'cd web && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error'

linux=build/web-linux
build_tool() {
    cmake -S . -B $linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOR_BUILD_TESTS=OFF -DVOR_BUILD_TOOLS=ON \
        -DVOR_BUILD_BENCH=OFF >/dev/null &&
        cmake --build $linux --target vorcollide vorcollide-scene -j2 >/dev/null
}
step "vorcollide-scene and libvorcollide.so build" build_tool
tool=$root/$linux/tools/vorcollide-scene
module=$root/$linux/libvorcollide.so
step "vorcollide-scene records a trace of its built-in scene" \
    "$tool" --module "$module" --frames 120 --no-svg --quiet --record build/web/scene.trace

# The page's server on a free loopback port; stopped on exit.
serverlog=$(mktemp)
node web/serve.mjs 0 build/web >"$serverlog" 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -f "$serverlog"' EXIT
url=""
for _ in $(seq 1 100); do
    url=$(sed -n 's/^playground: \(http:\/\/127\.0\.0\.1:[0-9]*\/\)$/\1/p' "$serverlog")
    [ -n "$url" ] && break
    kill -0 $server 2>/dev/null || break
    sleep 0.1
done
if [ -z "$url" ]; then
    fail "the page server starts"; cat "$serverlog"; finish
fi
passed=$((passed + 1)); echo "PASS the page server listens on $url"

log=$(mktemp)
(cd web && timeout 300 node tests/browser_test.mjs "$url" "$tool" "$module" "$root/build/web" \
    "$root/build/web/scene.trace") >"$log" 2>&1
cat "$log"
summary=$(tail -n 1 "$log")
rm -f "$log"
if [[ $summary =~ ^playground-browser:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=$((passed + BASH_REMATCH[1])); failed=$((failed + BASH_REMATCH[2]))
else
    fail "the browser test ended without its summary"
fi
finish
