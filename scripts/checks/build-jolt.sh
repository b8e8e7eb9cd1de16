#!/usr/bin/env bash
# scripts/build-jolt.sh refuses what it cannot build from, before it installs, configures or writes
# anything: no source, a folder that is not Jolt's, a git directory whose HEAD holds no Jolt. Each
# refusal is a non-zero status, a message on standard error, and no install prefix left behind.
# Closes with "build-jolt: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
source scripts/lib/checks.sh
count_check build-jolt

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# refuses NAME ARGS...: the script ends non-zero, says why, and installs nothing in $work/prefix.
refuses() {
    local name=$1; shift
    local status=0
    bash scripts/build-jolt.sh "$@" >"$work/out" 2>"$work/err" || status=$?
    if [ "$status" -ne 0 ] && [ -s "$work/err" ] && [ ! -e "$work/prefix/lib" ] &&
        [ ! -e "$work/prefix-build" ]; then
        pass "$name"
    else
        fail "$name (status $status)"; sed 's/^/    /' "$work/err"
    fi
}

refuses "no source"
if grep -q "git clone --bare" "$work/err" && grep -q "never downloads" "$work/err"; then
    pass "no source: the usage says how to get one and that nothing is downloaded"
else
    fail "no source: the usage says how to get one and that nothing is downloaded"
fi

mkdir -p "$work/not-jolt/src"
refuses "a folder without Build/ and Jolt/" "$work/not-jolt" "$work/prefix"

git init -q --bare "$work/empty.git"
refuses "a git directory without a commit" "$work/empty.git" "$work/prefix"

git init -q "$work/other"
echo "not Jolt" >"$work/other/README"
git -C "$work/other" add README
git -C "$work/other" -c user.name=check -c user.email=check@localhost commit -q -m one
refuses "a git directory whose HEAD holds no Jolt" "$work/other/.git" "$work/prefix"

finish
