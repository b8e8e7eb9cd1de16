#!/usr/bin/env bash
# The unit suite in a 32-bit x86 Linux build (-m32, SSE2 arithmetic): 32-bit pointers and offsets
# (the host vertex block, the hierarchy's indices) go through every test, and the determinism
# hashes must come out as in the 64-bit build. Plain build only; the sanitizer runs stay 64-bit.
# Installs gcc-multilib, g++-multilib and GoogleTest for i386 when missing, and qemu-user where the
# kernel cannot execute 32-bit programs.
# Closes with "linux32: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
dir=build/linux32

source scripts/lib/checks.sh
require_packages linux32 cmake make gcc-multilib g++-multilib libgtest-dev:i386

fail() { echo "linux32: $1" >&2; echo "linux32: 0 passed, 1 failed"; exit 1; }

# Some kernels are built without 32-bit x86 support ("Exec format error"). There the programs run
# under qemu's user-mode emulator, which executes the same i386 SSE2 instructions, so the floats
# and the hashes are still the 32-bit build's own.
mkdir -p "$dir"
kernel_runs_i386() {
    printf 'int main(void) { return 0; }\n' >"$dir/runs_i386.c" &&
        gcc -m32 "$dir/runs_i386.c" -o "$dir/runs_i386" 2>/dev/null && "$dir/runs_i386" 2>/dev/null
}
emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR=)
if ! kernel_runs_i386; then
    require_packages linux32 qemu-user
    echo "linux32: this kernel cannot execute 32-bit x86 programs; running them under qemu-i386"
    emulator=(-DCMAKE_CROSSCOMPILING_EMULATOR=qemu-i386)
fi

cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-linux-i686.cmake" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOR_BUILD_TOOLS=OFF -DVOR_BUILD_BENCH=OFF \
    -DVOR_BUILD_EXAMPLES=OFF "${emulator[@]}" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null ||
    fail "configure failed"
cmake --build "$dir" --target vorcollide vorcollide_tests -j2 >"$dir/build.log" 2>&1 ||
    { tail -n 30 "$dir/build.log"; fail "build failed"; }

# A 64-bit program here would prove nothing: the tests must be i386 code computing in SSE2.
file_is_i386() { objdump -f "$1" | grep -q 'file format elf32-i386'; }
file_is_i386 "$dir/vorcollide_tests" 2>/dev/null || file_is_i386 "$dir/tests/vorcollide_tests" ||
    fail "the test program is not a 32-bit x86 program"
file_is_i386 "$dir/libvorcollide.so" || fail "libvorcollide.so is not a 32-bit x86 module"
grep -E '"command"' "$dir/compile_commands.json" | grep -F 'CMakeFiles/vorcollide.dir/' |
    grep -vqF -- ' -mfpmath=sse ' && fail "a compile line of the module lacks -mfpmath=sse"

log="$dir/ctest.log"
(cd "$dir" && ctest --output-on-failure -j2) >"$log" 2>&1
status=$?
# The summary and, on failure, the failed tests and their output.
sed -n '/tests passed, /,$p' "$log"
[ "$status" -eq 0 ] || grep -E '(Failed|\*\*\*)' "$log" | head -n 40
line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
[ -n "$line" ] || fail "ctest printed no summary (status $status)"
total=${line##* out of }
bad=$(sed -E 's/^.* ([0-9]+) tests failed.*$/\1/' <<<"$line")
good=$((total - bad))
[ "$status" -eq 0 ] || [ "$bad" -gt 0 ] || bad=1
echo "linux32: $good passed, $bad failed"
[ "$bad" -eq 0 ]
