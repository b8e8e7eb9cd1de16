#!/usr/bin/env bash
# The web benchmark: builds the WebAssembly module (web/build.sh) and the level files from the
# native comparison's own scene code, installs the peers from web/bench/package-lock.json, then
# times vorcollide beside Rapier, Jolt and three-mesh-bvh in Node (bench.mjs) and measures each
# library's load time and size (load_time.mjs). Not part of the test command.
#   bash web/bench/run.sh [ARGS for bench.mjs]      e.g. --rounds 9 --only small,crowd
#   bash web/bench/run.sh --module build/web/vorcollide.wasm --module OTHER.wasm   (both timed)
# Modules given with --module are also measured for load time and size.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
out=build/web-bench

bash scripts/ensure-packages.sh g++ unzip python-matplotlib-data
command -v node >/dev/null || bash scripts/ensure-packages.sh nodejs
command -v npm >/dev/null || bash scripts/ensure-packages.sh npm
bash web/build.sh build/web >/dev/null

# The real terrain: the elevation grid Debian's python-matplotlib-data ships (as run-bench.sh).
mkdir -p $out/levels
dem=/usr/share/matplotlib/mpl-data/sample_data/jacksboro_fault_dem.npz
unzip -o -q -p "$dem" elevation.npy >$out/jacksboro_elevation.npy
g++ -std=c++17 -O2 -ffp-contract=off -Wall -Wextra -I bench -I bench/peers web/bench/level_files.cpp \
    bench/level_geometry.cpp bench/peers/terrain_data.cpp bench/peers/issue_rays.cpp -o $out/level_files
characters=64
$out/level_files $out/levels $out/jacksboro_elevation.npy $characters

if [ ! -f web/bench/node_modules/.package-lock.json ] ||
    [ web/bench/package-lock.json -nt web/bench/node_modules/.package-lock.json ]; then
    (cd web/bench && npm ci --no-audit --no-fund --loglevel=error)
fi

modules=()
for ((k = 1; k <= $#; ++k)); do
    if [ "${!k}" = "--module" ]; then
        next=$((k + 1)); modules+=(--module "$(realpath "${!next}")")
    fi
done
echo "== time per ray and per character step ($(date -u +%Y-%m-%d), $(git -C "$root" describe --always --dirty))"
node web/bench/bench.mjs --levels $out/levels --json $out/bench.json "$@"
echo "== load time and size"
node web/bench/load_time.mjs "${modules[@]}"
