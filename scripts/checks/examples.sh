#!/usr/bin/env bash
# Builds the example hosts of examples/ (the README's character loop) and runs them, then checks
# that what they print is what a game developer should see: the character lands on the floor and
# not inside it, stops at the wall's face, jumps and comes back down, the 30 and 60 frames a second
# runs agree when gravity is scaled by the frame time, and a gravity kept from 60 frames a second
# falls at half the speed at 30. The README's minimal host is examples/minimal_host.c word for word,
# and prints what the README says. Closes with "examples: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."

source scripts/lib/checks.sh
require_packages examples cmake make gcc g++ binutils

count_check examples

build=build/examples
program=$build/examples/character_loop
output=""

build_examples() {
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOR_BUILD_TESTS=OFF \
        -DVOR_BUILD_TOOLS=OFF -DVOR_BUILD_EXAMPLES=ON >/dev/null &&
        cmake --build "$build" -j2 --target character_loop minimal_host >/dev/null
}
check "examples build with the module" build_examples

links_soname() {
    readelf -d "$program" | grep -q 'NEEDED.*\[libvorcollide\.so\.1\]' ||
        { echo "character_loop does not record libvorcollide.so.1:"; readelf -d "$program" | grep NEEDED; return 1; }
}
check "character_loop records the module's soname libvorcollide.so.1" links_soname

output=$("$program" 2>&1)
status=$?
exited_zero() { [ "$status" -eq 0 ] || { echo "exit status $status"; tail -n 5 <<<"$output"; return 1; }; }
check "character_loop runs" exited_zero
# The program's log, for anyone reading the check's output.
sed 's/^/    /' <<<"$output" | grep -E '^    (run|result)'

# field NAME KEY: the number after KEY in the result line of run NAME ("end feet" gives x y z).
field() {
    sed -n "s/^result $1: .*$2 \([-0-9. ]*[0-9]\).*/\1/p" <<<"$output" | head -n 1
}

# Every comparison in awk, with the tolerance written where it is used.
test_cond() { # condition, name=value...
    local cond=$1 args=() pair; shift
    for pair in "$@"; do args+=(-v "$pair"); done
    awk "${args[@]}" "BEGIN { exit !($cond) }" || { echo "not true: $cond with $*"; return 1; }
}

ends_on_floor() { # run
    local feet y x
    feet=$(field "$1" "end feet"); x=${feet%% *}; y=$(cut -d' ' -f2 <<<"$feet")
    grep -q "^result $1: .*on the ground" <<<"$output" || { echo "not on the ground at the end"; return 1; }
    # The floor is y = 0: feet below it are inside the floor; more than 1 mm above is floating.
    test_cond 'y >= 0 && y <= 0.001' "y=$y" &&
        # The wall's face is x = 3 and the radius 0.25: the feet stop at 2.75, never past it.
        test_cond 'x <= 2.75 + 1e-4 && x >= 2.74' "x=$x" &&
        # The centre sits at the position plus the offset (half the height, 0.45).
        test_cond 'c - y > 0.4499 && c - y < 0.4501' "c=$(field "$1" "centre y")" "y=$y"
}
touches_floor_and_wall() { # run: the last pass lists the floor's and the wall's normals
    local contacts
    contacts=$(awk -v run="run $1:" '$0 ~ "^" run { on = 1; next } /^run / { on = 0 } on && /contact [0-9]+:/' <<<"$output")
    grep -q 'normal 0.00 1.00 0.00' <<<"$contacts" || { echo "no floor contact: $contacts"; return 1; }
    grep -q 'normal -1.00 0.00 0.00' <<<"$contacts" || { echo "no wall contact: $contacts"; return 1; }
}
jumps() { # run: the jump rises well above the floor, and the character lands again
    test_cond 'peak > 0.5 && peak < 1.5' "peak=$(field "$1" "jump peak")"
}

for run in 60fps 30fps 30fps-unscaled; do
    check "$run: ends standing on the floor at the wall, not inside either" ends_on_floor "$run"
    check "$run: the last pass touches the floor and the wall" touches_floor_and_wall "$run"
done
check "60fps: jumps and lands" jumps 60fps
check "30fps: jumps and lands" jumps 30fps

# Falling 1 unit at 4.8 units a second takes 0.21 s, a frame more or less at either rate.
same_fall() {
    test_cond 'a > 0.15 && a < 0.28 && b > 0.15 && b < 0.28' \
        "a=$(field 60fps "first landing")" "b=$(field 30fps "first landing")" &&
        # the jump's discrete steps differ by a frame's share: within 10 % of each other
        test_cond 'p / q > 0.9 && p / q < 1.1' "p=$(field 60fps "jump peak")" "q=$(field 30fps "jump peak")"
}
check "gravity scaled by the frame time: 60 and 30 frames a second fall and jump alike" same_fall

half_speed() {
    test_cond 'u / s > 1.8' "u=$(field 30fps-unscaled "first landing")" "s=$(field 30fps "first landing")"
}
check "gravity kept per update: at 30 frames a second the fall takes twice as long" half_speed

# The README shows the minimal host in a ```c block; it must be the file the check builds.
readme_shows_minimal_host() {
    local shown
    shown=$(awk '/^## A minimal host/ { on = 1 } on && /^```c$/ { code = 1; next }
                 code && /^```$/ { exit } code' README.md)
    [ -n "$shown" ] || { echo "no c block under '## A minimal host' in README.md"; return 1; }
    diff <(echo "$shown") examples/minimal_host.c >/dev/null ||
        { echo "README.md's host differs from examples/minimal_host.c:"; diff <(echo "$shown") examples/minimal_host.c | head; return 1; }
}
check "README.md shows examples/minimal_host.c as it is" readme_shows_minimal_host

# It prints what its own comment and the README promise, from the module loaded by path.
minimal_host_prints() {
    local want got
    want=$(sed -n 's|^ */\* prints: \(.*\) \*/$|\1|p' examples/minimal_host.c)
    got=$("$build/examples/minimal_host" "$build/libvorcollide.so.1") || { echo "exit status $?"; return 1; }
    [ -n "$want" ] && [ "$got" = "$want" ] || { echo "printed '$got', want '$want'"; return 1; }
}
check "minimal_host loads libvorcollide.so.1 and prints what it promises" minimal_host_prints

echo "examples: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
