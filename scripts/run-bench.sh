#!/usr/bin/env bash
# Builds the benchmarks in build/bench (Release) and runs them, then the comparison with Bullet and
# Embree (bench/peers), and Jolt when scripts/build-jolt.sh has installed it in build/jolt
# (it is never built or fetched from here). Extra arguments go to the benchmark program (e.g.
# --benchmark_filter=Crowd); `scripts/run-bench.sh peers [ARGS]` runs only the comparison, with
# ARGS for it (--module PATH, --rounds N, --only small,large,terrain,scene,crowd, or --only press
# for the pressing crowd beside Bullet's and Jolt's characters). A JSON copy of
# the benchmark figures lands in build/bench/bench.json.
set -euo pipefail
cd "$(dirname "$0")/.."
# python-matplotlib-data ships the real elevation grid of the terrain level (jacksboro_fault_dem).
bash scripts/ensure-packages.sh cmake g++ make pkg-config unzip libbenchmark-dev libbullet-dev \
  libembree-dev python-matplotlib-data
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVOR_BUILD_BENCH=ON -DVOR_BUILD_TESTS=OFF \
  -DVOR_BUILD_TOOLS=OFF >/dev/null
mkdir -p build/bench/terrain
dem=/usr/share/matplotlib/mpl-data/sample_data/jacksboro_fault_dem.npz
if [ -f "$dem" ]; then
  unzip -o -q -p "$dem" elevation.npy >build/bench/terrain/jacksboro_elevation.npy
fi

if [ "${1:-}" = "peers" ]; then
  shift
  cmake --build build/bench -j2 --target vorcollide_peers
  exec build/bench/bench/peers/vorcollide_peers "$@"
fi
cmake --build build/bench -j2 --target vorcollide_bench vorcollide_peers
build/bench/bench/vorcollide_bench --benchmark_counters_tabular=true \
  --benchmark_out=build/bench/bench.json --benchmark_out_format=json "$@"
build/bench/bench/peers/vorcollide_peers
