#!/usr/bin/env bash
# Runs every test of the project on this machine, installing what is missing first:
# the suite in a plain build, the suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# the suite with the four-wide searches on the plain four-float struct in place of SSE2,
# and the extra checks in scripts/checks/ (each prints its own summary).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/ensure-packages.sh cmake g++ make libgtest-dev binutils libassimp-dev

run_suite() { # build dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure -j"$jobs")
}

echo "== test suite (plain build)"
run_suite build/test
echo "== test suite (address and undefined-behaviour sanitizers)"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_suite build/asan -DVOR_SANITIZE=ON
echo "== test suite (the plain four-float struct instead of SSE2 in the hierarchy searches)"
run_suite build/no-simd -DVOR_NO_SIMD=ON -DVOR_BUILD_TOOLS=OFF

for check in scripts/checks/*.sh; do
  [ -e "$check" ] || continue
  echo "== $(basename "$check" .sh)"
  bash "$check"
done
echo "== all tests passed"
