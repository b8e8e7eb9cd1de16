#!/usr/bin/env bash
# `cmake --install` of the release preset into a temporary prefix, then a tiny consumer (checks/install/consumer.c) built
# against what was installed as the README tells a user: through find_package(vorcollide) with
# CMAKE_PREFIX_PATH, and through pkg-config with PKG_CONFIG_PATH, run with LD_LIBRARY_PATH and with
# an rpath; each must run and print the pass's result. The module is installed under its versioned
# name with its soname link, the version file refuses another major version, and the CPack
# archives (.tar.gz, .deb) hold the same tree: the .deb is unpacked (never installed) and a
# consumer is built against it. Closes with "install: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

source scripts/lib/checks.sh
require_packages install cmake make gcc g++ pkg-config dpkg-dev binutils

count_check install

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build=build/release
prefix=$work/prefix
version=$(sed -n 's/^#define VORCOLLIDE_VERSION_STRING "\(.*\)"$/\1/p' include/vorcollide.h)
major=${version%%.*}
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
    for f in include/vorcollide.h lib/libvorcollide.so.$version lib/cmake/vorcollide/vorcollideConfig.cmake \
        lib/cmake/vorcollide/vorcollideConfigVersion.cmake lib/cmake/vorcollide/vorcollideTargets.cmake \
        lib/pkgconfig/vorcollide.pc; do
        [ -f "$prefix/$f" ] || { echo "missing $f"; bad=1; }
    done
    return $bad
}
check "the header, module, CMake package and vorcollide.pc are installed" installed_files

# The file carries the full version, the soname the major one; the two names a linker and a
# loader look for are links to it.
versioned_module() { # lib directory
    local lib=$1 soname
    [ "$(readlink "$lib/libvorcollide.so.$major")" = "libvorcollide.so.$version" ] ||
        { echo "libvorcollide.so.$major is not a link to libvorcollide.so.$version"; ls -l "$lib"; return 1; }
    [ "$(readlink "$lib/libvorcollide.so")" = "libvorcollide.so.$major" ] ||
        { echo "libvorcollide.so is not a link to libvorcollide.so.$major"; ls -l "$lib"; return 1; }
    soname=$(readelf -d "$lib/libvorcollide.so.$version" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [ "$soname" = "libvorcollide.so.$major" ] || { echo "soname '$soname'"; return 1; }
}
check "the module is libvorcollide.so.$version, soname libvorcollide.so.$major, with both links" \
    versioned_module "$prefix/lib"

prints_want() { # command...: runs it, which must print the pass's result
    local got
    got=$("$@" 2>&1) || { echo "exit status $?: $got"; return 1; }
    [ "$got" = "$want" ] || { echo "printed '$got', want '$want'"; return 1; }
}
# A consumer that records the soname; NEEDED names what the loader will look for at run time.
needs_soname() { # program
    readelf -d "$1" | grep -q "NEEDED.*\[libvorcollide\.so\.$major\]" ||
        { echo "$1 does not need libvorcollide.so.$major:"; readelf -d "$1" | grep NEEDED; return 1; }
}

# As the README: CMAKE_PREFIX_PATH finds the package; CMake's build-tree rpath finds the module.
with_find_package() { # prefix, build directory
    cmake -S checks/install -B "$2" -DCMAKE_PREFIX_PATH="$1" >/dev/null &&
        cmake --build "$2" >/dev/null &&
        needs_soname "$2/consumer" &&
        prints_want env -u LD_LIBRARY_PATH "$2/consumer"
}
check "a consumer built with find_package(vorcollide 1.0) and CMAKE_PREFIX_PATH runs" \
    with_find_package "$prefix" "$work/cmake-consumer"

# As the README: PKG_CONFIG_PATH for the build, then LD_LIBRARY_PATH or an rpath at run time.
pc_flags() { # prefix
    PKG_CONFIG_PATH="$1/lib/pkgconfig" pkg-config --cflags --libs vorcollide
}
with_pkg_config() {
    local flags
    flags=$(pc_flags "$prefix") || return 1
    [ "$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --modversion vorcollide)" = "$version" ] ||
        { echo "pkg-config reports another version"; return 1; }
    # shellcheck disable=SC2086
    cc -std=c99 -Wall -Werror checks/install/consumer.c $flags -o "$work/pc-consumer" &&
        needs_soname "$work/pc-consumer" &&
        prints_want env LD_LIBRARY_PATH="$prefix/lib" "$work/pc-consumer"
}
check "a consumer built with PKG_CONFIG_PATH and pkg-config runs with LD_LIBRARY_PATH" with_pkg_config

# Without the run-time path the loader cannot find the module: the failure the README warns of.
fails_without_run_path() {
    local out
    [ -x "$work/pc-consumer" ] || { echo "no pkg-config consumer was built"; return 1; }
    if out=$(env -u LD_LIBRARY_PATH "$work/pc-consumer" 2>&1); then
        echo "ran without a run-time path (is a libvorcollide.so.$major on the system's paths?)"; return 1
    fi
    grep -q "libvorcollide.so.$major" <<<"$out" || { echo "failed otherwise: $out"; return 1; }
}
check "the pkg-config consumer without LD_LIBRARY_PATH stops, naming libvorcollide.so.$major" \
    fails_without_run_path

with_rpath() {
    local flags
    flags=$(pc_flags "$prefix") || return 1
    # shellcheck disable=SC2086
    cc -std=c99 -Wall -Werror checks/install/consumer.c $flags -Wl,-rpath,"$prefix/lib" \
        -o "$work/rpath-consumer" &&
        prints_want env -u LD_LIBRARY_PATH "$work/rpath-consumer"
}
check "a consumer linked with -Wl,-rpath to the prefix runs without LD_LIBRARY_PATH" with_rpath

refuses_major_2() {
    if cmake -S checks/install -B "$work/cmake-v2" -DCMAKE_PREFIX_PATH="$prefix" \
        -DVOR_WANT_VERSION=2.0 >"$work/v2.log" 2>&1; then
        echo "find_package(vorcollide 2.0) accepted version $version"; return 1
    fi
    grep -q 'compatible with requested version' "$work/v2.log" ||
        { echo "failed for another reason:"; tail -n 5 "$work/v2.log"; return 1; }
}
check "find_package(vorcollide 2.0) refuses the installed $version" refuses_major_2

# CPack from the release build: a .tar.gz of the prefix's tree and a .deb under /usr.
packages=$work/packages
make_packages() {
    mkdir -p "$packages" &&
        cpack --config "$build/CPackConfig.cmake" -B "$packages" >/dev/null &&
        ls "$packages"/vorcollide-"$version"-*.tar.gz "$packages"/vorcollide_"$version"_*.deb
}
check "cpack makes vorcollide-$version .tar.gz and .deb" make_packages

tarball_holds_the_tree() {
    local tgz listing f bad=0
    tgz=$(ls "$packages"/vorcollide-"$version"-*.tar.gz) || return 1
    listing=$(tar -tzf "$tgz") || return 1
    for f in include/vorcollide.h "lib/libvorcollide.so.$version" "lib/libvorcollide.so.$major" \
        lib/libvorcollide.so lib/pkgconfig/vorcollide.pc lib/cmake/vorcollide/vorcollideConfig.cmake; do
        grep -q "^[^/]*/$f\$" <<<"$listing" || { echo "missing $f"; bad=1; }
    done
    return $bad
}
check "the .tar.gz holds the header, the versioned module and its links, the .pc and the package" \
    tarball_holds_the_tree

deb=$work/deb
deb_metadata() {
    local file
    file=$(ls "$packages"/vorcollide_"$version"_*.deb) || return 1
    [ "$(dpkg-deb -f "$file" Package)" = vorcollide ] || { echo "package name"; return 1; }
    [ "$(dpkg-deb -f "$file" Version)" = "$version" ] || { echo "version $(dpkg-deb -f "$file" Version)"; return 1; }
    dpkg-deb -f "$file" Depends | grep -q libc6 || { echo "no libc6 dependency"; dpkg-deb -I "$file"; return 1; }
    # Unpacked into a scratch folder, never installed on this machine.
    dpkg-deb -x "$file" "$deb" && versioned_module "$deb/usr/lib"
}
check "the .deb is named vorcollide $version, depends on libc6 and unpacks to usr/lib" deb_metadata

against_the_deb() {
    with_find_package "$deb/usr" "$work/deb-consumer"
}
check "a consumer built against the unpacked .deb with CMAKE_PREFIX_PATH runs" against_the_deb

echo "install: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
