#!/usr/bin/env bash
# Builds the module (build/crowd) and bench/crowd_overlap.cpp against it, then measures how far a
# pressing crowd of characters ends up inside each other; arguments go to the program, e.g.
#   bash scripts/measure-crowd-overlap.sh                      # 1000 bodies converging, 240 frames
#   bash scripts/measure-crowd-overlap.sh --separate           # with the host-side remedy
#   bash scripts/measure-crowd-overlap.sh --layout headon
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake g++ make
build=build/crowd
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DVOR_BUILD_TESTS=OFF -DVOR_BUILD_TOOLS=OFF \
    -DVOR_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target vorcollide -j2 >/dev/null
g++ -std=c++17 -O2 -ffp-contract=off -Wall -Wextra -Iinclude bench/crowd_overlap.cpp \
    -o "$build/crowd_overlap" -L"$build" -lvorcollide -Wl,-rpath,"$(pwd)/$build"
exec "$build/crowd_overlap" "$@"
