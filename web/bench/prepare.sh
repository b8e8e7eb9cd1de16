#!/usr/bin/env bash
# What the web benchmark needs before it runs (run.sh and scripts/checks/webbench.sh): the
# WebAssembly module (web/build.sh), the scene files written by level_files.cpp from the native
# comparison's own code into build/web-bench/levels, and the peers installed from
# web/bench/package-lock.json.
set -euo pipefail
cd "$(dirname "$0")/../.."
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

