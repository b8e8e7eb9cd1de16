#!/usr/bin/env bash
# The pass on worker threads under ThreadSanitizer: the suite's pass tests (the driver, the pass,
# mesh and response scenarios, overlap recovery, the determinism hashes, the differential test of
# worker counts, the module unloaded with workers running) with every pass on 4 threads, however
# few its bodies. Any report of the thread checker fails the check.
# Closes with "threads: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."
dir=build/tsan

source scripts/lib/checks.sh
require_packages threads cmake make g++ libgtest-dev libtsan2

fail() { echo "threads: $1" >&2; echo "threads: 0 passed, 1 failed"; exit 1; }

cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOR_SANITIZE_THREAD=ON \
    -DVOR_BUILD_TOOLS=OFF -DVOR_BUILD_EXAMPLES=OFF >/dev/null || fail "configure failed"
cmake --build "$dir" -j"$(nproc 2>/dev/null || echo 2)" --target vorcollide_tests vorcollide ||
    fail "build failed"

suites='PassDriverTest.*:DegenerateInputTest.*:PassScenarioTest.*:MeshOrderTest.*:MeshScenarioTest.*'
suites+=':MeshSweepTest.*:CarryTest.*:RepeatedPolygonTest.*:ResponseTest.*:ConcaveTest.*:SlopeTest.*'
suites+=':OverlapRecoveryTest.*:SlopeWalkerTest.*:Determinism*.*:LoadedModule.*'
suites+=':AccelDifferentialTest.EveryWorkerCount*:AccelDifferentialTest.WorkersCount*'
log="$dir/threads.log"
VOR_TEST_WORKERS=4 TSAN_OPTIONS="halt_on_error=1 exitcode=66" \
    "$dir/tests/vorcollide_tests" --gtest_filter="$suites" >"$log" 2>&1
status=$?
ran=$(grep -c '^\[       OK \]' "$log")
tail -n 3 "$log"
if grep -q 'WARNING: ThreadSanitizer' "$log"; then
    sed -n '/WARNING: ThreadSanitizer/,/^SUMMARY/p' "$log" | head -n 60
    echo "threads: $ran passed, 1 failed"
    exit 1
fi
if [ "$status" -ne 0 ] || [ "$ran" -lt 100 ]; then
    grep -E '^\[  FAILED  \]' "$log" | head -n 20
    echo "threads: $ran passed, 1 failed (exit status $status)"
    exit 1
fi
echo "threads: $ran passed, 0 failed"
