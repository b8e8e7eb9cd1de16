#!/usr/bin/env bash
# Builds the benchmarks in build/bench (Release) and runs them; extra arguments go to the
# benchmark program (e.g. --benchmark_filter=Crowd). A JSON copy of the figures lands in
# build/bench/bench.json.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake g++ make libbenchmark-dev
cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DVOR_BUILD_BENCH=ON -DVOR_BUILD_TESTS=OFF \
  -DVOR_BUILD_TOOLS=OFF >/dev/null
cmake --build build/bench -j2 --target vorcollide_bench
build/bench/bench/vorcollide_bench --benchmark_counters_tabular=true \
  --benchmark_out=build/bench/bench.json --benchmark_out_format=json "$@"
