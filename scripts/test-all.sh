#!/usr/bin/env bash
# Runs every test of the project on this machine, installing what is missing first:
# the suite in a plain build, the suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# the suite with the four-wide searches on the plain four-float struct in place of SSE2,
# and the extra checks in scripts/checks/ (each prints its own summary).
#
# Every check runs even when an earlier one fails. The command ends with one line per check and
# "checks: N passed, N failed, N skipped"; a check is skipped only when the package archive cannot
# supply its toolchain today (the line says which package and what the archive answered). It
# fails when any check failed.
#
# Names on the command line run only those checks, e.g.  bash scripts/test-all.sh suite linux32
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)
source scripts/lib/checks.sh

run_suite() { # check name, build dir, extra cmake args...
  local name=$1 dir=$2; shift 2
  require_packages "$name" cmake g++ make libgtest-dev binutils libassimp-dev
  cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null || exit 1
  cmake --build "$dir" -j"$jobs" || exit 1
  cd "$dir" && ctest --output-on-failure -j"$jobs"
}
suite() { run_suite suite build/test; }
suite_sanitizers() {
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      run_suite suite-sanitizers build/asan -DVOR_SANITIZE=ON
}
suite_no_simd() { run_suite suite-no-simd build/no-simd -DVOR_NO_SIMD=ON -DVOR_BUILD_TOOLS=OFF; }

# name, then the command; the suites first, then scripts/checks/ in name order.
checks=(
  "suite|suite"
  "suite-sanitizers|suite_sanitizers"
  "suite-no-simd|suite_no_simd"
)
for file in scripts/checks/*.sh; do
  [ -e "$file" ] && checks+=("$(basename "$file" .sh)|bash $file")
done

wanted() { local name=$1 each; shift; for each; do [ "$each" = "$name" ] && return 0; done; return 1; }

passed=0 failed=0 skipped=0
summary=()
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
for entry in "${checks[@]}"; do
  name=${entry%%|*} command=${entry#*|}
  [ $# -eq 0 ] || wanted "$name" "$@" || continue
  echo "== $name"
  # In a subshell, so that a check's exit or cd stays its own.
  ( $command ) 2>&1 | tee "$logs/$name"
  status=${PIPESTATUS[0]}
  # The check's own closing line: "name: N passed, N failed", ctest's summary, or the skip reason.
  own=$(grep -E "^$name: |^[0-9]+% tests passed|[0-9]+ passed" "$logs/$name" | tail -n 1)
  case $status in
  0) passed=$((passed + 1)); summary+=("PASSED  $name${own:+  ($own)}") ;;
  "$VOR_CHECK_SKIPPED") skipped=$((skipped + 1)); summary+=("SKIPPED $name  (${own#"$name: skipped: "})") ;;
  *) failed=$((failed + 1)); summary+=("FAILED  $name (exit status $status)${own:+  ($own)}") ;;
  esac
done

if [ $((passed + failed + skipped)) -eq 0 ]; then
  echo "no check is named $*; the checks are: $(printf '%s ' "${checks[@]%%|*}")" >&2
  exit 1
fi
echo "== summary"
printf '%s\n' "${summary[@]}"
echo "checks: $passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
