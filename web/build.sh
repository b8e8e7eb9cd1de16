#!/usr/bin/env bash
# Builds what the web playground and its checks use, into build/web (or the directory given):
#   vorcollide.wasm   the library for WebAssembly, with Debian's clang-14 and wasi-libc only, its
#                     four-wide searches in SIMD128 (-msimd128)
#   vorcollide-plain.wasm  the same without SIMD128, for engines that lack it (vorcollide.mjs
#                     chooses between the two when it loads)
#   probe_host.wasm   the determinism scene and the cross-platform probe as a wasm host program
#   scene-data.json   the built-in level of vorcollide-scene and its table of exports
#   export-names.txt  the exports the public header declares (scripts/export-names.sh)
# Compiles only what changed since the last run. Installs the toolchain when it is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:-build/web}
mkdir -p "$out/obj"

source scripts/lib/packages.sh
bash scripts/ensure-packages.sh "${VOR_WASM_TOOLCHAIN[@]}"

cc=clang-14
# Every build computes the same floats: no contraction into fused multiply-add, no fast math.
target=(--target=wasm32-wasi --sysroot=/usr)
common=("${target[@]}" -O2 -ffp-contract=off -fno-fast-math -Wall -Wextra)
# Links take no optimisation level: with one, clang runs whatever wasm-opt the machine has on the
# module itself, without telling it the module's features (SIMD128 then fails to validate).
linkflags=("${target[@]}" -Wall -Wextra)
# wasm-opt on the linked module: -Os took 188,198 to 163,089 bytes (SIMD128) and 193,654 to 167,186
# (plain) at the same bits, and timed within the web benchmark's noise of the unshrunk module;
# -O2 and -O3 shrank less, and in one run timed mesh rays 1.7x and character steps 1.3x to 1.4x
# slower than the unshrunk module.
wasm_opt_level=(-Os)
cxxflags=("${common[@]}" -isystem /usr/lib/llvm-14/include/wasm32-wasi/c++/v1 -std=c++17
    -fno-exceptions -fno-rtti -fvisibility=hidden -DVORCOLLIDE_BUILDING -I include -I src)

# Compiles $1 into $2 with the remaining flags unless the object is newer than the source, every
# header it included last time and this script (whose flags it was built with).
compile() {
    local src=$1 obj=$2; shift 2
    local dep=${obj%.o}.d
    if [ -f "$obj" ] && [ -f "$dep" ]; then
        local stale=0 f
        for f in web/build.sh $(sed -e 's/^[^:]*://' -e 's/\\$//' "$dep"); do
            [ "$f" -nt "$obj" ] && { stale=1; break; }
        done
        [ $stale -eq 0 ] && return 0
    fi
    "$cc" "$@" -MMD -MF "$dep" -c "$src" -o "$obj"
}

# The exports of the native module under the same names, plus the allocator (for host vertex
# blocks) and the error bridge; nothing else.
bash scripts/export-names.sh >"$out/export-names.txt"
[ -s "$out/export-names.txt" ] || { echo "no export names in include/vorcollide.h" >&2; exit 1; }
exports=()
while read -r name; do
    [ -n "$name" ] && exports+=("-Wl,--export=$name")
done <"$out/export-names.txt"

# Code that runs only when a host turns it on is built for size: the overlap recovery at -O2 was
# a tenth of the module, most of it three sorts of its own. So is code that runs once a host call,
# not in a pass's loops over bodies and triangles: the registry (its look-ups are a few
# comparisons at any level) and the error box (2.2 KB less).
size_built=(src/pass/overlap_recovery.cpp src/body/registry.cpp src/core/error_report.cpp)

# Links the library into $1 from objects compiled in $2 with the remaining flags.
build_module() {
    local module=$1 objdir=$2; shift 2
    mkdir -p "$objdir"
    local objects=() src obj level
    while IFS= read -r src; do
        obj=$objdir/$(echo "${src#src/}" | tr / _).o
        level=()
        [[ " ${size_built[*]} " == *" $src "* ]] && level=(-Os)
        compile "$src" "$obj" "${cxxflags[@]}" "$@" "${level[@]}"
        objects+=("$obj")
    done < <(find src -name '*.cpp' | sort)
    compile web/wasm/error_bridge.c "$objdir/error_bridge.o" "${common[@]}" -std=c11 -I include
    objects+=("$objdir/error_bridge.o")
    "$cc" "${linkflags[@]}" "$@" -mexec-model=reactor "${objects[@]}" -L/usr/lib/wasm32-wasi \
        -lc++ -lc++abi "${exports[@]}" -Wl,--export=malloc -Wl,--export=free -Wl,--strip-debug \
        -o "$module.linked"
    # Reads the features to keep from the section the linker wrote, so the plain module gains none.
    wasm-opt "${wasm_opt_level[@]}" --strip-debug --strip-producers --strip-target-features \
        "$module.linked" -o "$module.tmp"
    rm "$module.linked"
    mv "$module.tmp" "$module"
}
build_module "$out/vorcollide.wasm" "$out/obj-simd128" -msimd128
build_module "$out/vorcollide-plain.wasm" "$out/obj-plain"

# The probe host leaves the library's functions undefined: they become imports that the loader
# fills with the exports of vorcollide.wasm.
compile web/wasm/probe_host.c "$out/obj/probe_host.o" "${common[@]}" -std=c11 -I include -I tests \
    -I checks/windows
"$cc" "${linkflags[@]}" "$out/obj/probe_host.o" -Wl,--allow-undefined-file="$out/export-names.txt" \
    -Wl,--strip-debug -o "$out/probe_host.wasm"

# The built-in level, taken from vorcollide-scene's own level code.
scene=tools/scene
data_tool=$out/obj/scene_data
if [ ! -x "$data_tool" ] || [ -n "$(find web/tools/scene_data.cpp $scene -newer "$data_tool" -name '*.[ch]*' -print -quit)" ]; then
    g++ -std=c++17 -O1 -ffp-contract=off -I "$scene" web/tools/scene_data.cpp "$scene/level.cpp" \
        "$scene/recorder.cpp" "$scene/exports.cpp" "$scene/trace_format.cpp" -ldl -o "$data_tool"
fi
"$data_tool" >"$out/scene-data.json.tmp"
mv "$out/scene-data.json.tmp" "$out/scene-data.json"
echo "web build: $root/$out (vorcollide.wasm, vorcollide-plain.wasm, probe_host.wasm, scene-data.json)"
