#!/usr/bin/env bash
# Builds Jolt Physics' static library from a copy of its source already on this machine and
# installs it where bench/peers looks for it, so that the peer comparison gets a Jolt column:
#   bash scripts/build-jolt.sh SOURCE [PREFIX]
# SOURCE is a Jolt source tree (the folder holding Build/ and Jolt/) or a bare git directory of
# one, whose HEAD is exported; PREFIX defaults to build/jolt. Nothing is ever downloaded: without
# a source the script says how to get one and stops.
#
# Flags: Release (-O3) with the profiler and the debug renderer off, which is what Jolt's own
# Distribution configuration ships and what a game would time; single precision, no cross-platform
# determinism, no assertions. Each x86 feature Jolt can use (SSE4.1/4.2, AVX, AVX2, LZCNT, TZCNT,
# F16C, FMA) is on when the compiler's -march=native finds it on this processor, AVX-512 stays off
# as Jolt's default has it. Link-time optimisation is off so the archive links into any build;
# the compute back ends (GPU and their CPU stand-in) are off, since rays do not use them.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    cat >&2 <<'EOF'
usage: bash scripts/build-jolt.sh SOURCE [PREFIX]
  SOURCE  a copy of Jolt Physics' source (MIT licence): its top folder, holding Build/ and Jolt/,
          or a bare git directory of it, e.g. made with
            git clone --bare https://github.com/jrouwe/JoltPhysics.git /somewhere/JoltPhysics.git
  PREFIX  where to install the library and headers (default build/jolt)
This script never downloads anything itself.
EOF
    exit 2
}

[ $# -ge 1 ] && [ $# -le 2 ] || usage
source=$1
prefix=$(realpath -m "${2:-build/jolt}")

# A git directory is exported afresh so that a stale tree never mixes with its HEAD; only the
# library's folders, which are all the build reads (the samples' large assets may be absent).
if [ -f "$source/Build/CMakeLists.txt" ] && [ -d "$source/Jolt" ]; then
    tree=$(cd "$source" && pwd)
elif git --git-dir="$source" rev-parse --verify -q HEAD >/dev/null 2>&1; then
    tree=$prefix-src
    rm -rf "$tree"
    mkdir -p "$tree"
    # Each folder from its own tree: an archive of paths in the whole tree reads the attributes of
    # every blob, and fails on a copy whose large assets were left out.
    for part in Build Jolt; do
        git --git-dir="$source" archive --prefix="$part/" "HEAD:$part" | tar -x -C "$tree"
    done
    git --git-dir="$source" show HEAD:LICENSE >"$tree/LICENSE"
    [ -f "$tree/Build/CMakeLists.txt" ] || { echo "build-jolt: $source holds no Build/CMakeLists.txt" >&2; exit 1; }
else
    echo "build-jolt: $source is neither a Jolt source tree nor a git directory of one" >&2
    usage
fi
mkdir -p "$(dirname "$prefix")"

# Yes or no for each processor feature, as -march=native sees it.
native=$(g++ -march=native -dM -E -x c++ /dev/null)
has() { grep -q "#define $1 1" <<<"$native" && echo ON || echo OFF; }

bash scripts/ensure-packages.sh cmake g++ make
trap 'echo "build-jolt: failed; the end of $prefix-build.log:" >&2; tail -20 "$prefix-build.log" >&2' ERR
cmake -S "$tree/Build" -B "$prefix-build" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DDOUBLE_PRECISION=OFF -DCROSS_PLATFORM_DETERMINISTIC=OFF -DUSE_ASSERTS=OFF \
    -DPROFILER_IN_DEBUG_AND_RELEASE=OFF -DDEBUG_RENDERER_IN_DEBUG_AND_RELEASE=OFF \
    -DINTERPROCEDURAL_OPTIMIZATION=OFF -DGENERATE_DEBUG_SYMBOLS=OFF -DENABLE_ALL_WARNINGS=OFF \
    -DJPH_BUILD_SHARED_LIBS=OFF \
    -DJPH_USE_DX12=OFF -DJPH_USE_VK=OFF -DJPH_USE_MTL=OFF -DJPH_USE_CPU_COMPUTE=OFF \
    -DTARGET_UNIT_TESTS=OFF -DTARGET_HELLO_WORLD=OFF -DTARGET_PERFORMANCE_TEST=OFF \
    -DTARGET_SAMPLES=OFF -DTARGET_VIEWER=OFF \
    -DUSE_SSE4_1="$(has __SSE4_1__)" -DUSE_SSE4_2="$(has __SSE4_2__)" -DUSE_AVX="$(has __AVX__)" \
    -DUSE_AVX2="$(has __AVX2__)" -DUSE_AVX512=OFF -DUSE_LZCNT="$(has __LZCNT__)" \
    -DUSE_TZCNT="$(has __BMI__)" -DUSE_F16C="$(has __F16C__)" -DUSE_FMADD="$(has __FMA__)" \
    >"$prefix-build.log"
cmake --build "$prefix-build" -j2 >>"$prefix-build.log"
cmake --install "$prefix-build" >>"$prefix-build.log"
echo "Jolt installed in $prefix (log: $prefix-build.log); features:" \
    "$(grep -o 'JPH_USE_[A-Z0-9_]*' "$prefix/lib/cmake/Jolt/JoltConfig.cmake" | sort -u | tr '\n' ' ')"
