#!/usr/bin/env bash
# The test command's own machinery, against a stand-in apt-get and dpkg (nothing is installed):
# package installation going on past a partly failed index update and naming what the archive
# lacks, a check turning that into a skip, and the test command running every check past a
# failure and closing with one line per check and the counts.
# Closes with "test-command: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)

passed=0
failed=0
expect() { # name, then a condition that must hold
    local name=$1; shift
    if "$@"; then passed=$((passed + 1)); echo "PASS $name"
    else failed=$((failed + 1)); echo "FAIL $name"; fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The stand-ins: dpkg-query answers from $work/installed; apt-get fails its update
# $FAKE_UPDATE_FAILURES times, like an archive mid-sync, and cannot install $FAKE_UNAVAILABLE.
fake=$work/bin
mkdir -p "$fake"
cat >"$fake/dpkg-query" <<'EOF'
#!/usr/bin/env bash
grep -qx "${!#}" "$FAKE_STATE/installed" 2>/dev/null && printf 'install ok installed'
EOF
cat >"$fake/dpkg" <<'EOF'
#!/usr/bin/env bash
[ "$1" = --print-foreign-architectures ] && cat "$FAKE_STATE/arches" 2>/dev/null
[ "$1" = --add-architecture ] && echo "$2" >>"$FAKE_STATE/arches"
exit 0
EOF
cat >"$fake/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "$*" >>"$FAKE_STATE/calls"
for arg; do
  case $arg in
  update)
    updates=$(($(cat "$FAKE_STATE/updates" 2>/dev/null || echo 0) + 1))
    echo "$updates" >"$FAKE_STATE/updates"
    if [ "$updates" -le "${FAKE_UPDATE_FAILURES:-0}" ]; then
      echo "E: Failed to fetch binary-i386/Packages.xz  File has unexpected size. Mirror sync in progress?"
      exit 100
    fi
    exit 0 ;;
  install) install=1 ;;
  esac
done
packages=()
for arg; do case $arg in -*|install|DPkg::*) ;; *) packages+=("$arg") ;; esac; done
for pkg in "${packages[@]}"; do
  for lacking in ${FAKE_UNAVAILABLE:-}; do
    [ "$pkg" = "$lacking" ] && { echo "E: Package '$pkg' has no installation candidate"; exit 100; }
  done
done
printf '%s\n' "${packages[@]}" >>"$FAKE_STATE/installed"
EOF
printf '#!/usr/bin/env bash\necho 0\n' >"$fake/id"
chmod +x "$fake"/*

# Runs ensure-packages.sh in a fresh fake machine; $work/out gets its output, $work/state its state.
ensure() { # packages...
    rm -rf "$work/state"; mkdir -p "$work/state"
    echo base >"$work/state/installed"
    PATH="$fake:$PATH" FAKE_STATE=$work/state VOR_APT_PAUSE=0 \
        bash scripts/ensure-packages.sh "$@" >"$work/out" 2>&1
}
installed() { # packages...
    local pkg; for pkg; do grep -qx "$pkg" "$work/state/installed" || return 1; done
}
calls() { grep -c "$1" "$work/state/calls" 2>/dev/null || echo 0; }

ensure base
status=$?
expect "nothing missing: no call to apt-get" [ $status -eq 0 -a ! -e "$work/state/calls" ]

FAKE_UPDATE_FAILURES=99 ensure cmake libgtest-dev:i386
status=$?
expect "an index update that keeps failing is tried three times" [ "$(calls update)" -eq 3 ]
expect "and the install goes on with the lists that did download" [ $status -eq 0 ]
expect "installing every package" installed cmake libgtest-dev:i386
expect "a NAME:ARCH package enables its architecture first" grep -qx i386 "$work/state/arches"

FAKE_UPDATE_FAILURES=1 ensure cmake
expect "an update that succeeds on its second try is not tried a third time" [ "$(calls update)" -eq 2 ]

FAKE_UNAVAILABLE="wine32:i386" ensure cmake wine32:i386 wine64
status=$?
expect "a package the archive lacks: status 3" [ $status -eq 3 ]
expect "the others are installed all the same" installed cmake wine64
expect "the last line names the package and the archive's message" \
    grep -qx "ensure-packages: could not install wine32:i386: E: Package 'wine32:i386' has no installation candidate" \
    <(tail -n 1 "$work/out")

# A stand-in project for the test command: checks that pass, fail, skip for want of a package,
# and fail on a broken set-up.
project=$work/project
mkdir -p "$project/scripts/checks" "$project/scripts/lib"
cp scripts/test-all.sh "$project/scripts/"
cp scripts/lib/checks.sh "$project/scripts/lib/"
cat >"$project/scripts/ensure-packages.sh" <<'EOF'
echo "ensure-packages: could not install $*: E: Package '$1' has no installation candidate" >&2
exit 3
EOF
printf 'echo "a-fails: 1 passed, 1 failed"; exit 1\n' >"$project/scripts/checks/a-fails.sh"
printf 'source scripts/lib/checks.sh\nrequire_packages b-skips wine32:i386\necho unreachable\n' \
    >"$project/scripts/checks/b-skips.sh"
printf 'echo "c-passes: 4 passed, 0 failed"\n' >"$project/scripts/checks/c-passes.sh"
printf 'source scripts/lib/checks.sh\nrequire_setup d-broken false\n' >"$project/scripts/checks/d-broken.sh"
bash "$project/scripts/test-all.sh" a-fails b-skips c-passes d-broken >"$work/all" 2>&1
status=$?
expect "the test command fails when a check failed" [ $status -ne 0 ]
expect "every check runs past an earlier failure" grep -qx "c-passes: 4 passed, 0 failed" "$work/all"
expect "a skipped check stops before its tests" bash -c "! grep -q unreachable '$work/all'"
expect "one line per check, with its own closing line or the reason" diff <(sed -n '/^== summary$/,$p' "$work/all") - <<'EOF'
== summary
FAILED  a-fails (exit status 1)  (a-fails: 1 passed, 1 failed)
SKIPPED b-skips  (could not install wine32:i386: E: Package 'wine32:i386' has no installation candidate)
PASSED  c-passes  (c-passes: 4 passed, 0 failed)
FAILED  d-broken (exit status 1)  (d-broken: 0 passed, 1 failed (set-up failed: false))
checks: 1 passed, 2 failed, 1 skipped
EOF
bash "$project/scripts/test-all.sh" b-skips c-passes >/dev/null 2>&1
expect "a skipped check does not fail the command" [ $? -eq 0 ]
bash "$project/scripts/test-all.sh" no-such-check >/dev/null 2>&1
expect "naming no existing check fails rather than passing on nothing" [ $? -ne 0 ]

[ "$failed" -eq 0 ] || sed 's/^/    /' "$work/out" "$work/all"
echo "test-command: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
