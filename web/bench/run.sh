#!/usr/bin/env bash
# The web benchmark: builds the WebAssembly module (web/build.sh) and the level files from the
# native comparison's own scene code, installs the peers from web/bench/package-lock.json, then
# times vorcollide beside Rapier, Jolt and three-mesh-bvh in Node (bench.mjs) and measures each
# library's load time and size (load_time.mjs). Not part of the test command.
#   bash web/bench/run.sh [ARGS for bench.mjs]      e.g. --rounds 9 --only small,crowd
#   bash web/bench/run.sh --module build/web/vorcollide.wasm --module OTHER.wasm   (both timed)
# Without --module it times both builds web/build.sh makes, SIMD128 first (the plain build's answers
# are compared with it). The modules timed are also measured for load time and size.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
out=build/web-bench
bash web/bench/prepare.sh

modules=()
for ((k = 1; k <= $#; ++k)); do
    if [ "${!k}" = "--module" ]; then
        next=$((k + 1)); modules+=(--module "$(realpath "${!next}")")
    fi
done
if [ ${#modules[@]} -eq 0 ]; then
    modules=(--module "$root/build/web/vorcollide.wasm" --module "$root/build/web/vorcollide-plain.wasm")
    set -- "$@" "${modules[@]}"
fi
echo "== time per ray and per character step ($(date -u +%Y-%m-%d), $(git -C "$root" describe --always --dirty))"
node web/bench/bench.mjs --levels $out/levels --json $out/bench.json "$@"
echo "== load time and size"
node web/bench/load_time.mjs "${modules[@]}"
