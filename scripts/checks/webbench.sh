#!/usr/bin/env bash
# A short run of the web benchmark (web/bench): one round on the small level and the crowds, every
# build of the module in build/web (vorcollide*.wasm; a lone build is run twice), checked by
# web/bench/smoke_check.mjs for what holds whatever the timings (Jolt and three-mesh-bvh agree with
# vorcollide on every ray, no character falls through, every build gives the same bits). The
# figures themselves come from web/bench/run.sh. Closes with "webbench: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/../.."

source scripts/lib/checks.sh
count_check webbench

require_setup webbench bash web/bench/prepare.sh
modules=()
for m in build/web/vorcollide*.wasm; do modules+=(--module "$m"); done
[ ${#modules[@]} -eq 2 ] && modules+=("${modules[@]}")
json=build/web-bench/smoke.json
step "bench.mjs runs one round on the small level and the crowds" \
    timeout 600 node web/bench/bench.mjs --rounds 1 --frames 3 --only small,crowd --json $json "${modules[@]}"
log=$(node web/bench/smoke_check.mjs $json 2>&1)
echo "$log"
summary=$(tail -n 1 <<<"$log")
if [[ $summary =~ ^webbench-smoke:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
    passed=$((passed + BASH_REMATCH[1])); failed=$((failed + BASH_REMATCH[2]))
else
    fail "the smoke check ended without its summary"
fi
finish
