#!/usr/bin/env bash
# The Windows modules: cross-compiles the 64-bit and 32-bit vorcollide.dll, checks their export
# and import tables, entry point, error box, version resource and float flags, then builds the
# Windows host (checks/windows/wine_host.cpp) for each width and runs it under wine in a fresh prefix
# of that width: the 64-bit host against build/win64/vorcollide.dll with wine64, the 32-bit host
# against build/win32/vorcollide.dll with 32-bit wine (WINEARCH=win32). Each run's probe is compared
# bit for bit with the Linux module's. Then the unloading cases, each in a process of its own under
# a time limit, with the module's worker threads alive: FreeLibrary without a Stop, a Stop then
# FreeLibrary, and the process ending with the workers parked or in the middle of passes.
# Wine failing to start is SKIPPED, never passed.
# Closes with "windows: N passed, N failed[, N skipped]".
set -uo pipefail
cd "$(dirname "$0")/../.."

source scripts/lib/checks.sh
require_packages windows cmake make binutils g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64
# wine32 is an i386 package whose list the archive sometimes has mid-sync: without it both DLLs
# are still built and inspected, and only the 32-bit run under wine is skipped, with the reason.
wine32_missing=$(bash scripts/ensure-packages.sh wine32:i386 2>&1 >/dev/null | grep '^ensure-packages: could not install' |
    sed 's/^ensure-packages: //')

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

# A function the module imports from a DLL, as its import table lists it. (The module is checked,
# not an object file: with link-time optimisation the objects hold no machine code.)
imports_function() { # pe file, DLL name, function
    $objdump -p "$1" | awk -v dll="$2" -v fn="$3" '
        /DLL Name:/ { inside = (tolower($3) == tolower(dll)) }
        inside && $NF == fn { found = 1 }
        END { exit !found }' && return 0
    echo "$3 is not imported from $2"; return 1
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
    check "win$bits: imports MessageBoxA from user32 for the default error handler" \
        imports_function "$dll" user32.dll MessageBoxA
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

# The host's export list, made from the public header for both widths.
gendir=build/wine_host
mkdir -p "$gendir"
bash scripts/export-names.sh | sed 's/.*/VOR_EXPORT(&)/' >"$gendir/host_exports.h"
bash scripts/export-names.sh | sed 's/.*/#define & (*p_&)/' >"$gendir/host_export_macros.h"
# The determinism hash the Linux suite records (tests/determinism_test.cpp), unless the shared
# scene header carries it itself as VOR_SCENE_HASH.
scene_hash=$(sed -n 's/^.*kSceneHash = \(0x[0-9a-fA-F]*\)[uU]*[lL]*;.*$/\1/p' tests/determinism_test.cpp 2>/dev/null | head -n 1)
scene_define=()
[ -n "$scene_hash" ] && scene_define=(-DVOR_EXPECTED_SCENE_HASH="${scene_hash}ull")

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

wineserver=$(command -v wineserver || { [ -x /usr/lib/wine/wineserver ] && echo /usr/lib/wine/wineserver; } || true)
runs=()
cleanup() {
    local r
    for r in "${runs[@]}"; do
        [ -n "$wineserver" ] && WINEPREFIX="$r/prefix" "$wineserver" -k 2>/dev/null
        rm -rf "$r"
    done
}
trap cleanup EXIT
unset DISPLAY WAYLAND_DISPLAY

# The unloading cases of the host (wine_host.cpp, UnloadCases): name, runs, what it shows. Ending
# the process in the middle of passes races the end against the workers, so it runs several times:
# a detach that waits for them hangs in only some of the runs.
unload_cases=(
    "free-without-stop|1|FreeLibrary without StopCollisionVOR leaves the workers parked; a LoadLibrary runs the next pass to one thread's bits"
    "stop-then-free|1|StopCollisionVOR ends the workers and FreeLibrary unloads the module; a reload runs the scene again"
    "exit-with-workers|1|the process ends with the workers parked"
    "exit-during-passes|10|the process ends in the middle of passes on three threads"
)
unload_timeout=60

# Runs one unloading case under wine the given number of times, each under the time limit: every
# run must end by itself, with exit status 0 and the host's summary without a failed check.
unload_case() { # run dir, wine, winearch, case, runs
    local run=$1 wine=$2 winearch=$3 name=$4 runs=$5 i status summary
    local winrun="Z:${run//\//\\}" log=$run/unload-$name.log
    for ((i = 1; i <= runs; i++)); do
        WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=$winearch \
            timeout $unload_timeout "$wine" "$run/wine_host.exe" "$winrun\\vorcollide.dll" --unload "$name" \
            >"$log" 2>"$log.err"
        status=$?
        summary=$(tr -d '\r' <"$log" | grep -E '^[0-9]+ passed, [0-9]+ failed' | tail -n 1)
        if [ $status -eq 124 ]; then
            echo "run $i of $runs did not end within ${unload_timeout}s"
        elif [ $status -ne 0 ]; then
            echo "run $i of $runs ended with exit status $status"
        elif [ -z "$summary" ] || [ "${summary#* passed, }" != "0 failed" ]; then
            echo "run $i of $runs: ${summary:-no summary}"
        else
            continue
        fi
        tr -d '\r' <"$log" | tail -n 20
        tail -n 3 "$log.err"
        return 1
    done
}

# Each unloading case as one check; the host's own lines of its last run follow a pass.
unload_runs() { # bits, run dir, wine, winearch
    local entry name runs what before
    for entry in "${unload_cases[@]}"; do
        IFS='|' read -r name runs what <<<"$entry"
        before=$failed
        check "win$1 unload ($name): $what" unload_case "$2" "$3" "$4" "$name" "$runs"
        if [ "$failed" -eq "$before" ]; then
            tr -d '\r' <"$2/unload-$name.log" | sed "s/^/  win$1 $name: /"
        fi
    done
}

# A wine run that cannot happen here: the host's run and each unloading case, with the reason.
skip_wine_runs() { # bits, reason
    local entry
    skipped=$((skipped + 1))
    echo "SKIPPED win$1 wine host run: $2"
    for entry in "${unload_cases[@]}"; do
        skipped=$((skipped + 1))
        echo "SKIPPED win$1 unload (${entry%%|*}): $2"
    done
}

# Builds the Windows host for one width (static, calling the module only through GetProcAddress)
# and runs it under wine in a fresh prefix of that width against build/win<bits>/vorcollide.dll.
host_run() { # bits
    local bits=$1 triple wine winearch
    if [ "$bits" = 64 ]; then
        triple=x86_64-w64-mingw32 winearch=win64
        wine=${VOR_WINE64:-${VOR_WINE:-}}
        [ -n "$wine" ] || wine=$(command -v wine64 || { [ -x /usr/lib/wine/wine64 ] && echo /usr/lib/wine/wine64; } || true)
    else
        triple=i686-w64-mingw32 winearch=win32
        wine=${VOR_WINE32:-}
        [ -n "$wine" ] || wine=$( { [ -x /usr/lib/wine/wine ] && echo /usr/lib/wine/wine; } || command -v wine || true)
    fi
    local hostdir=build/win$bits/wine_host hostcxx
    mkdir -p "$hostdir"
    hostcxx=$(command -v $triple-g++-posix || command -v $triple-g++)
    local flags=(-std=c++17 -O1 -Wall -Wextra -ffp-contract=off -fno-fast-math -static)
    [ "$bits" = 32 ] && flags+=(-msse2 -mfpmath=sse)
    rm -f "$hostdir/wine_host.exe"
    check "win$bits wine host: builds" "$hostcxx" "${flags[@]}" "${scene_define[@]}" -I include -I tests \
        -I "$gendir" checks/windows/wine_host.cpp -lversion -o "$hostdir/wine_host.exe"
    [ -f "$hostdir/wine_host.exe" ] || return 0
    # The host also reads the version resource through version.dll, a system DLL as well.
    check "win$bits wine host: imports only from system DLLs" imports_system_only "$hostdir/wine_host.exe" version

    if [ -z "$wine" ]; then
        skip_wine_runs "$bits" "no $winearch wine is installed${wine32_missing:+ ($wine32_missing)}"
        return 0
    fi
    # Its own prefix, no display, no prompts for browser or .NET add-ons.
    local run
    run=$(mktemp -d)
    runs+=("$run")
    cp "$hostdir/wine_host.exe" build/win$bits/vorcollide.dll "$run/"
    local boot boot_status
    boot=$(WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=$winearch \
        timeout 180 "$wine" wineboot --init 2>&1)
    boot_status=$?
    if [ $boot_status -ne 0 ]; then
        skip_wine_runs "$bits" "wine cannot start here (wineboot exit status $boot_status${boot:+: $(tail -n 1 <<<"$boot")})"
        return 0
    fi
    WINEPREFIX="$run/prefix" "$wineserver" -w 2>/dev/null || true

    local winrun="Z:${run//\//\\}" status
    WINEPREFIX="$run/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=$winearch \
        timeout 180 "$wine" "$run/wine_host.exe" "$winrun\\vorcollide.dll" "$winrun\\probe.txt" \
        >"$run/host.log" 2>"$run/host.err"
    status=$?
    tr -d '\r' <"$run/host.log" | sed "s/^/  win$bits: /"
    if ! grep -q 'wine_host: started' "$run/host.log"; then
        skip_wine_runs "$bits" "wine did not start the program (status $status: $(tail -n 1 "$run/host.err"))"
        return 0
    fi
    local summary host_failed host_skipped
    summary=$(tr -d '\r' <"$run/host.log" | grep -E '^[0-9]+ passed, [0-9]+ failed(, [0-9]+ skipped)?$' | tail -n 1)
    if [ -z "$summary" ]; then
        failed=$((failed + 1))
        echo "FAIL win$bits wine host: ended without its summary (status $status)"; tail -n 5 "$run/host.err"
    else
        passed=$((passed + ${summary%% passed*}))
        host_failed=${summary#*passed, }; host_failed=${host_failed%% failed*}
        case "$summary" in *skipped) host_skipped=${summary##*failed, }; skipped=$((skipped + ${host_skipped%% skipped})) ;; esac
        failed=$((failed + host_failed))
        if [ "$host_failed" -eq 0 ] && [ $status -ne 0 ]; then
            failed=$((failed + 1)); echo "FAIL win$bits wine host: exit status $status"
        fi
    fi
    check "win$bits under wine: the probe's values carry the Linux module's bits" same_bits_as_linux "$run"
    unload_runs "$bits" "$run" "$wine" "$winearch"
}

# Every value of the probe must carry the same bits on both platforms.
same_bits_as_linux() { # run dir
    local run=$1
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

host_run 64
host_run 32
finish
