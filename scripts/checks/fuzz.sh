#!/usr/bin/env bash
# Builds the libFuzzer target over the exports (clang, address and undefined-behaviour
# sanitizers) and runs it for about a minute on a scratch copy of the seed corpus, so the
# checked-in corpus never grows here. Any crash, hang (10 s per input), leak or broken boundary
# promise fails the check; the input that found it is left in build/fuzz/findings/.
# FUZZ_SECONDS overrides the run time.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
seconds=${FUZZ_SECONDS:-60}

source scripts/lib/checks.sh
require_packages fuzz clang libclang-rt-14-dev cmake make

build=$root/build/fuzz
CC=clang CXX=clang++ cmake -S checks/fuzz -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 >/dev/null

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp checks/fuzz/corpus/* "$scratch/"
mkdir -p "$build/findings"
log=$build/fuzz.log

# No RSS-limit thread (-rss_limit_mb=0): starting it frees its thread record on another thread
# while the first input runs, which the exact heap check after StopCollisionVOR would take for
# the module's. A single allocation above 2 GiB still fails the run (-malloc_limit_mb).
status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$build/fuzz_exports" "$scratch" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=0 -malloc_limit_mb=2048 \
  -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/findings/" >"$log" 2>&1 || status=$?

runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
calls=$(grep -o 'vorfuzz: .*' "$log" | tail -n 1 || true)
echo "fuzz: $runs inputs in ${seconds}s from $(ls checks/fuzz/corpus | wc -l) seeds; ${calls#vorfuzz: }"
if [ "$status" -ne 0 ]; then
  echo "fuzz: FAILED (exit $status); last lines of $log:"
  tail -n 40 "$log"
  echo "reproduce: $build/fuzz_exports <input from $build/findings/>"
  exit 1
fi
echo "fuzz: no findings"
