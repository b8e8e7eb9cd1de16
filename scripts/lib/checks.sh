# Sourced by the test command and by each check in scripts/checks/.
#
# A check ends with exit status 0 (passed), 77 (skipped: what it needs cannot be had from the
# package archive today, the reason on its last line) or anything else (failed). Only a failure
# fails the test command.
readonly VOR_CHECK_SKIPPED=77
# ensure-packages.sh's status for "the archive could not supply a package".
readonly VOR_PACKAGES_UNAVAILABLE=3

# require_setup CHECK COMMAND...: runs a set-up command that installs packages through
# ensure-packages.sh; when the archive cannot supply one, ends the check as skipped, naming the
# packages and the archive's message; any other failure fails the check.
require_setup() {
  local check=$1; shift
  local out status
  out=$("$@" 2>&1)
  status=$?
  [ -n "$out" ] && echo "$out"
  [ "$status" -eq 0 ] && return 0
  if [ "$status" -eq "$VOR_PACKAGES_UNAVAILABLE" ]; then
    echo "$check: skipped: $(grep '^ensure-packages: could not install' <<<"$out" | tail -n 1 |
        sed 's/^ensure-packages: //')"
    exit "$VOR_CHECK_SKIPPED"
  fi
  echo "$check: 0 passed, 1 failed (set-up failed: $*)"
  exit 1
}

# require_packages CHECK PKG...: the Debian packages the check needs, installed when missing.
require_packages() {
  local check=$1; shift
  require_setup "$check" bash "$(dirname "${BASH_SOURCE[0]}")/../ensure-packages.sh" "$@"
}

# The counting of a check made of steps: count_check NAME starts it; pass NAME and fail NAME count
# one case; step NAME COMMAND... runs a case and ends the check when it fails (later steps need
# it); finish prints "NAME: N passed, N failed" and ends the check with its verdict.
count_check() { VOR_CHECK_NAME=$1; passed=0; failed=0; }
pass() { passed=$((passed + 1)); echo "PASS $1"; }
fail() { failed=$((failed + 1)); echo "FAIL $1"; }
finish() {
  echo "$VOR_CHECK_NAME: $passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit
}
step() { # name, command...
  local name=$1; shift
  local log
  if log=$("$@" 2>&1); then
    pass "$name"
  else
    fail "$name"; tail -n 20 <<<"$log" | sed 's/^/    /'; finish
  fi
}
