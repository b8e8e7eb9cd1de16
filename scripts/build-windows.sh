#!/usr/bin/env bash
# Cross-compiles vorcollide.dll for Windows with Debian's mingw-w64: the 64-bit module into
# build/win64 and the 32-bit one into build/win32 (or only those named: 64, 32).
#   bash scripts/build-windows.sh          # both
#   bash scripts/build-windows.sh 32       # the 32-bit module only
# Extra cmake arguments can be passed in VOR_WIN_CMAKE_ARGS. Installs the compilers when missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=${VOR_JOBS:-2}
[ "$jobs" -gt 2 ] && jobs=2

bash scripts/ensure-packages.sh cmake make g++-mingw-w64-x86-64 g++-mingw-w64-i686

targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(64 32)

for bits in "${targets[@]}"; do
    case "$bits" in
    64 | 32) ;;
    *) echo "build-windows.sh: unknown target '$bits' (use 64 or 32)" >&2; exit 2 ;;
    esac
    dir="$root/build/win$bits"
    echo "== vorcollide.dll ($bits-bit) in build/win$bits"
    # The tests and tools are Linux programs; the module alone is cross-compiled.
    # shellcheck disable=SC2086
    cmake -S "$root" -B "$dir" \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw$bits.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
        -DVOR_BUILD_TESTS=OFF -DVOR_BUILD_TOOLS=OFF -DVOR_BUILD_BENCH=OFF \
        ${VOR_WIN_CMAKE_ARGS:-} >/dev/null
    cmake --build "$dir" --target vorcollide -j"$jobs"
    ls -l "$dir/vorcollide.dll"
done
