#!/usr/bin/env bash
# The Windows modules: cross-compiles the 64-bit and 32-bit vorcollide.dll, checks their export
# and import tables, entry point, error box, version resource and float flags, then runs a small
# Windows host against the 64-bit module under wine. 32-bit programs cannot run on these machines,
# so the 32-bit module is checked by its tables only. Closes with "windows: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."

bash scripts/ensure-packages.sh cmake make binutils g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 \
    || { echo "windows: could not install the mingw-w64 compilers and wine64" >&2; exit 1; }

passed=0
failed=0
skipped=0
check() { # name, then the command that must succeed
    local name=$1; shift
    local out
    if out=$("$@" 2>&1); then
        passed=$((passed + 1)); echo "PASS $name"
    else
        failed=$((failed + 1)); echo "FAIL $name"; [ -n "$out" ] && sed 's/^/    /' <<<"$out"
    fi
}
finish() {
    local note=""
    [ "$skipped" -gt 0 ] && note=", $skipped skipped"
    echo "windows: $passed passed, $failed failed$note"
    [ "$failed" -eq 0 ]
    exit
}

if ! bash scripts/build-windows.sh; then
    failed=$((failed + 1)); echo "FAIL the Windows modules build"; finish
fi
passed=$((passed + 1)); echo "PASS the Windows modules build"

objdump=x86_64-w64-mingw32-objdump
expected=$(bash scripts/export-names.sh | sort)

# The export table holds exactly the functions of the public header, undecorated.
exports_match() { # dll
    local got
    got=$($objdump -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | sort)
    diff <(echo "$expected") <(echo "$got") >/dev/null && return 0
    echo "missing: $(comm -23 <(echo "$expected") <(echo "$got") | tr '\n' ' ')"
    echo "extra:   $(comm -13 <(echo "$expected") <(echo "$got") | tr '\n' ' ')"
    return 1
}

# Only DLLs every Windows has: no mingw runtime (libgcc, libstdc++, libwinpthread) beside it.
imports_system_only() { # pe file, extra allowed DLL names (regex alternatives, optional)
    local dlls bad extra=${2:+|$2}
    dlls=$($objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [ -n "$dlls" ] || { echo "no import table found"; return 1; }
    bad=$(grep -viE "^(kernel32|user32|msvcrt|ucrtbase|api-ms-win-crt-[a-z0-9-]+$extra)\.dll\$" <<<"$dlls")
    [ -z "$bad" ] && return 0
    echo "non-system imports: $(echo "$bad" | tr '\n' ' ')"; return 1
}

file_format_is() { # pe file, format
    $objdump -f "$1" | grep -q "file format $2" || { $objdump -f "$1" | grep 'file format'; return 1; }
}

# Every compile line of the module carries the float flags (and SSE2 arithmetic on 32-bit).
compile_flags_present() { # build dir, flags...
    local db=$1/compile_commands.json; shift
    [ -f "$db" ] || { echo "no $db"; return 1; }
    local lines bad=0 flag
    lines=$(grep -E '"command"' "$db" | grep -F 'CMakeFiles/vorcollide.dir/')
    [ -n "$lines" ] || { echo "no compile lines of vorcollide in $db"; return 1; }
    for flag in "$@"; do
        if grep -vqF -- " $flag " <<<"$lines"; then
            echo "a compile line lacks $flag"; bad=1
        fi
    done
    return $bad
}

object_has_symbol() { # object file, nm line pattern (extended regex)
    [ -f "$1" ] || { echo "no object $1"; return 1; }
    x86_64-w64-mingw32-nm "$1" | grep -qE "$2" || { echo "no symbol matching '$2' in $1"; return 1; }
}

# 32-bit calling convention: each export is the cdecl symbol _Name (a stdcall one would be
# _Name@N) and never pops its own arguments (no "ret $N" in its body).
exports_are_cdecl() { # 32-bit dll
    local syms name bad=0
    syms=$(x86_64-w64-mingw32-nm "$1")
    while read -r name; do
        [ -n "$name" ] || continue
        grep -qE " T _$name\$" <<<"$syms" || { echo "no cdecl symbol _$name"; bad=1; }
        if grep -qE " _$name@[0-9]+\$" <<<"$syms"; then
            echo "stdcall symbol$(grep -oE " _$name@[0-9]+\$" <<<"$syms")"; bad=1
        fi
    done <<<"$expected"
    local popping
    popping=$($objdump -d "$1" | awk -v names="$(tr '\n' ' ' <<<"$expected")" '
        BEGIN { n = split(names, list, " "); for (i = 1; i <= n; i++) want["<_" list[i] ">:"] = list[i] }
        /^[0-9a-f]+ <.*>:$/ { label = $2; sub(/@[0-9]+>:$/, ">:", label)
                              current = (label in want) ? want[label] : "" }
        current != "" && /\tret +\$/ { print current }' | sort -u)
    [ -z "$popping" ] || { echo "exports popping their arguments: $(tr '\n' ' ' <<<"$popping")"; bad=1; }
    return $bad
}

# 32-bit float arithmetic runs in SSE registers like the 64-bit and Linux builds: no x87 arithmetic
# (which rounds to 80 bits first) in the library's own functions, namespace vor and the exports.
no_x87_arithmetic() { # 32-bit dll
    local found
    found=$($objdump -d --no-show-raw-insn "$1" | awk -v names="$(tr '\n' ' ' <<<"$expected")" '
        BEGIN { n = split(names, list, " "); for (i = 1; i <= n; i++) want["<_" list[i] ">:"] = 1 }
        /^[0-9a-f]+ <.*>:$/ { ours = ($2 in want) || ($2 ~ /^<__ZN3vor/); fn = $2 }
        ours && ($2 ~ /^f(add|sub|subr|mul|div|divr|sqrt|sin|cos|sincos|patan|prem1?|scale|rndint)p?[sl]?$/ ||
                 $2 ~ /^fi(add|sub|subr|mul|div|divr)[sl]?$/) { print fn " " $2 }' | sort -u)
    [ -z "$found" ] && return 0
    echo "x87 arithmetic in:"; head -n 20 <<<"$found"; return 1
}

version_string=$(sed -n 's/^#define VORCOLLIDE_VERSION_STRING "\(.*\)"$/\1/p' include/vorcollide.h)
version_resource_present() { # dll
    local s
    s=$(strings -el "$1")
    grep -qx 'FileVersion' <<<"$s" && grep -qxF "$version_string" <<<"$s" && return 0
    echo "no FileVersion $version_string in the resource strings"; return 1
}

for bits in 64 32; do
    dir=build/win$bits
    dll=$dir/vorcollide.dll
    objs=$dir/CMakeFiles/vorcollide.dir/src
    if [ $bits = 64 ]; then format=pei-x86-64; dllmain=' T DllMain$'; else format=pei-i386; dllmain=' T _DllMain@12$'; fi
    check "win$bits: vorcollide.dll (no lib prefix) is a $format module" file_format_is "$dll" $format
    check "win$bits: exports exactly the public header's functions, undecorated" exports_match "$dll"
    check "win$bits: imports only from system DLLs" imports_system_only "$dll"
    check "win$bits: DllMain of src/api/module_entry.cpp is the module entry" \
        object_has_symbol "$objs/api/module_entry.cpp.obj" "$dllmain"
    check "win$bits: the default error handler calls MessageBoxA" \
        object_has_symbol "$objs/core/error_report.cpp.obj" ' U __imp__?MessageBoxA'
    check "win$bits: carries the version resource $version_string" version_resource_present "$dll"
    if [ $bits = 64 ]; then
        check "win64: every compile line has -ffp-contract=off" compile_flags_present $dir -ffp-contract=off
    else
        check "win32: every compile line has -ffp-contract=off -msse2 -mfpmath=sse" \
            compile_flags_present $dir -ffp-contract=off -msse2 -mfpmath=sse
        check "win32: every export is __cdecl" exports_are_cdecl "$dll"
        check "win32: the library's own code does no x87 arithmetic" no_x87_arithmetic "$dll"
    fi
done

# The Windows host, static, calling the 64-bit module only through GetProcAddress.
hostdir=build/win64/wine_host
mkdir -p "$hostdir"
bash scripts/export-names.sh | sed 's/.*/VOR_EXPORT(&)/' >"$hostdir/host_exports.h"
bash scripts/export-names.sh | sed 's/.*/#define & (*p_&)/' >"$hostdir/host_export_macros.h"
# The determinism hash the Linux suite records (tests/determinism_test.cpp), unless the shared
# scene header carries it itself as VOR_SCENE_HASH.
scene_hash=$(sed -n 's/^.*kSceneHash = \(0x[0-9a-fA-F]*\)[uU]*[lL]*;.*$/\1/p' tests/determinism_test.cpp 2>/dev/null | head -n 1)
scene_define=()
[ -n "$scene_hash" ] && scene_define=(-DVOR_EXPECTED_SCENE_HASH="${scene_hash}ull")
hostcxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++)
build_host() {
    "$hostcxx" -std=c++17 -O1 -Wall -Wextra -ffp-contract=off -fno-fast-math -static \
        "${scene_define[@]}" -I include -I tests -I "$hostdir" checks/windows/wine_host.cpp -lversion \
        -o "$hostdir/wine_host.exe"
}
rm -f "$hostdir/wine_host.exe"
check "wine host: builds" build_host
[ -f "$hostdir/wine_host.exe" ] || finish
# The host also reads the version resource through version.dll, a system DLL as well.
check "wine host: imports only from system DLLs" imports_system_only "$hostdir/wine_host.exe" version

# The same probe against the Linux module, for a line-by-line comparison of the bits.
linux_probe=build/win-linux/cross_probe_linux.txt
build_linux_probe() {
    rm -f "$linux_probe"
    cmake -S . -B build/win-linux -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOR_BUILD_TESTS=OFF \
        -DVOR_BUILD_TOOLS=OFF -DVOR_BUILD_BENCH=OFF >/dev/null &&
        cmake --build build/win-linux --target vorcollide -j2 >/dev/null &&
        cc -std=c99 -O1 -Wall -ffp-contract=off -I include -I checks/windows \
            checks/windows/cross_probe_linux.c -o build/win-linux/cross_probe_linux \
            -L build/win-linux -lvorcollide -Wl,-rpath,"$(pwd)/build/win-linux" &&
        build/win-linux/cross_probe_linux >"$linux_probe"
}
check "linux probe: builds and runs against libvorcollide.so" build_linux_probe

wine=${VOR_WINE:-}
[ -n "$wine" ] || wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || true)
wineserver=$(command -v wineserver || { [ -x /usr/lib/wine/wineserver ] && echo /usr/lib/wine/wineserver; } || true)
if [ -z "$wine" ]; then
    skipped=$((skipped + 1)); echo "SKIPPED wine host run: wine64 is not installed"; finish
fi

# Its own prefix, no display, no prompts for browser or .NET add-ons.
run=$(mktemp -d)
trap '[ -n "$wineserver" ] && WINEPREFIX="$run/prefix" "$wineserver" -k 2>/dev/null; rm -rf "$run"' EXIT
cp "$hostdir/wine_host.exe" build/win64/vorcollide.dll "$run/"
export WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
boot=$(timeout 180 "$wine" wineboot --init 2>&1)
boot_status=$?
if [ $boot_status -ne 0 ]; then
    skipped=$((skipped + 1))
    echo "SKIPPED wine host run: wine cannot start here (wineboot exit status $boot_status${boot:+: $(tail -n 1 <<<"$boot")})"
    finish
fi
"$wineserver" -w 2>/dev/null || true

winrun="Z:${run//\//\\}"
timeout 180 "$wine" "$run/wine_host.exe" "$winrun\\vorcollide.dll" "$winrun\\probe.txt" \
    >"$run/host.log" 2>"$run/host.err"
status=$?
tr -d '\r' <"$run/host.log" | sed 's/^/  /'
if ! grep -q 'wine_host: started' "$run/host.log"; then
    skipped=$((skipped + 1))
    echo "SKIPPED wine host run: wine did not start the program (status $status: $(tail -n 1 "$run/host.err"))"
    finish
fi
summary=$(tr -d '\r' <"$run/host.log" | grep -E '^[0-9]+ passed, [0-9]+ failed(, [0-9]+ skipped)?$' | tail -n 1)
if [ -z "$summary" ]; then
    failed=$((failed + 1))
    echo "FAIL wine host: ended without its summary (status $status)"; tail -n 5 "$run/host.err"
else
    passed=$((passed + ${summary%% passed*}))
    host_failed=${summary#*passed, }; host_failed=${host_failed%% failed*}
    case "$summary" in *skipped) host_skipped=${summary##*failed, }; skipped=$((skipped + ${host_skipped%% skipped})) ;; esac
    failed=$((failed + host_failed))
    if [ "$host_failed" -eq 0 ] && [ $status -ne 0 ]; then
        failed=$((failed + 1)); echo "FAIL wine host: exit status $status"
    fi
fi

# Every value of the probe must carry the same bits on both platforms.
same_bits_as_linux() {
    [ -s "$linux_probe" ] || { echo "no Linux probe output"; return 1; }
    [ -s "$run/probe.txt" ] || { echo "no Windows probe output"; return 1; }
    tr -d '\r' <"$run/probe.txt" >"$run/probe_unix.txt"
    local differing
    differing=$(diff "$linux_probe" "$run/probe_unix.txt" | grep -c '^<')
    [ "$differing" -eq 0 ] && cmp -s "$linux_probe" "$run/probe_unix.txt" && return 0
    echo "$differing of $(wc -l <"$linux_probe") probe lines differ (< Linux, > Windows):" \
        "$(diff "$linux_probe" "$run/probe_unix.txt" | sed -n 's/^< \([a-z]*\) .*/\1/p' | sort | uniq -c | tr -s ' \n' ' ')"
    echo "first:"
    diff "$linux_probe" "$run/probe_unix.txt" | head -n 8
    return 1
}
check "win64 under wine: the probe's values carry the Linux module's bits" same_bits_as_linux
finish
