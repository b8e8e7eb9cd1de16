#!/usr/bin/env bash
# `cmake --install` of the release preset into a temporary prefix, then a tiny consumer (checks/install/consumer.c) built
# twice against what was installed: through find_package(vorcollide) and through pkg-config; both
# must run and print the pass's result. The version file must refuse another major version.
# Closes with "install: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

source scripts/lib/checks.sh
require_packages install cmake make gcc g++ pkg-config

passed=0
failed=0
check() { # name, then the command that must succeed
    local name=$1; shift
    local out
    if out=$("$@" 2>&1); then
        passed=$((passed + 1)); echo "PASS $name"
    else
        failed=$((failed + 1)); echo "FAIL $name"; [ -n "$out" ] && tail -n 20 <<<"$out" | sed 's/^/    /'
    fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build=build/release
prefix=$work/prefix
version=$(sed -n 's/^#define VORCOLLIDE_VERSION_STRING "\(.*\)"$/\1/p' include/vorcollide.h)
want="vorcollide $version: x = 1, contacts = 1"

presets_offered() {
    local listed name bad=0
    listed=$(cmake --list-presets 2>&1) || { echo "$listed"; return 1; }
    for name in development sanitizers release win32 win64; do
        grep -q "^ *\"$name\"" <<<"$listed" || { echo "no configure preset $name"; bad=1; }
    done
    return $bad
}
check "CMakePresets.json offers development, sanitizers, release, win32 and win64" presets_offered

# The release preset is what a packager builds and installs.
install_tree() {
    cmake --preset release >/dev/null &&
        cmake --build --preset release -j2 >/dev/null &&
        cmake --install "$build" --prefix "$prefix"
}
check "cmake --preset release, then cmake --install into a temporary prefix" install_tree

installed_files() {
    local f bad=0
    for f in include/vorcollide.h lib/libvorcollide.so lib/cmake/vorcollide/vorcollideConfig.cmake \
        lib/cmake/vorcollide/vorcollideConfigVersion.cmake lib/cmake/vorcollide/vorcollideTargets.cmake \
        lib/pkgconfig/vorcollide.pc; do
        [ -f "$prefix/$f" ] || { echo "missing $f"; bad=1; }
    done
    return $bad
}
check "the header, module, CMake package and vorcollide.pc are installed" installed_files

runs_and_prints() { # program
    local got
    got=$(LD_LIBRARY_PATH="$prefix/lib" "$1") || { echo "exit status $?"; return 1; }
    [ "$got" = "$want" ] || { echo "printed '$got', want '$want'"; return 1; }
}

with_find_package() {
    cmake -S checks/install -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null &&
        cmake --build "$work/cmake-consumer" >/dev/null &&
        runs_and_prints "$work/cmake-consumer/consumer"
}
check "a consumer built with find_package(vorcollide 1.0) runs" with_find_package

with_pkg_config() {
    local flags
    flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs vorcollide) || return 1
    [ "$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --modversion vorcollide)" = "$version" ] ||
        { echo "pkg-config reports another version"; return 1; }
    # shellcheck disable=SC2086
    cc -std=c99 -Wall -Werror checks/install/consumer.c $flags -o "$work/pc-consumer" &&
        runs_and_prints "$work/pc-consumer"
}
check "a consumer built with pkg-config --cflags --libs vorcollide runs" with_pkg_config

refuses_major_2() {
    if cmake -S checks/install -B "$work/cmake-v2" -DCMAKE_PREFIX_PATH="$prefix" \
        -DVOR_WANT_VERSION=2.0 >"$work/v2.log" 2>&1; then
        echo "find_package(vorcollide 2.0) accepted version $version"; return 1
    fi
    grep -q 'compatible with requested version' "$work/v2.log" ||
        { echo "failed for another reason:"; tail -n 5 "$work/v2.log"; return 1; }
}
check "find_package(vorcollide 2.0) refuses the installed $version" refuses_major_2

echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
