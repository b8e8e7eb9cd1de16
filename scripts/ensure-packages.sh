#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
#
# The archive is sometimes mid-sync: one of its lists (often a foreign architecture's) fails to
# download while the others are fine. So the index update is retried, a partial failure does not
# stop the install, and whatever can be installed is. Exit status:
#   0  every package is installed;
#   3  some could not be had from the archive today: the last line on standard error is
#      "ensure-packages: could not install PKG...: <apt's message>", for a check to report itself
#      skipped with that reason;
#   1  anything else (bad usage, dpkg itself broken).
# VOR_APT_ATTEMPTS (default 3) and VOR_APT_PAUSE (seconds, default 20) set the update's retries.
set -uo pipefail

readonly unavailable=3
attempts=${VOR_APT_ATTEMPTS:-3}
pause=${VOR_APT_PAUSE:-20}

is_installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for pkg in "$@"; do
  is_installed "$pkg" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "== installing: ${missing[*]}"

SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Another apt or dpkg run (a second checkout's set-up, the system's own timers) holds the lock for
# a while; wait for it rather than fail.
apt=($SUDO apt-get -o DPkg::Lock::Timeout=300)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Packages named NAME:ARCH (e.g. wine32:i386) need that architecture enabled before the update.
for pkg in "${missing[@]}"; do
  case "$pkg" in
  *:*) arch=${pkg##*:}
       dpkg --print-foreign-architectures | grep -qx "$arch" ||
           $SUDO dpkg --add-architecture "$arch" || exit 1 ;;
  esac
done

# apt's own complaints, one line, for the reason a check prints: the unmet dependency first when
# apt names one, since its "E:" line alone ("held packages") does not say what is missing.
apt_message() {
  { grep -E '^ +[^ ]+ : (Pre)?Depends: ' "$log" | head -n 1 | sed 's/^ *//'
    grep -E '^(E|W): ' "$log" | grep -v 'Download is performed unsandboxed' | head -n 3; } |
      tr '\n' ' ' | sed 's/ *$//'
}

update_index() {
  local try
  for ((try = 1; try <= attempts; try++)); do
    "${apt[@]}" update -qq >"$log" 2>&1 && return 0
    echo "ensure-packages: the package index update failed (try $try of $attempts): $(apt_message)" >&2
    [ "$try" -lt "$attempts" ] && sleep "$pause"
  done
  # Lists that did download are in place: go on and install what they offer.
  return 0
}

install() { "${apt[@]}" install -y -q --no-install-recommends "$@" >"$log" 2>&1; }

update_index
install "${missing[@]}" && exit 0

# apt installs all or nothing: try each package alone, so that what the archive has gets
# installed and the packages it lacks are named.
message=$(apt_message)
lacking=()
for pkg in "${missing[@]}"; do
  is_installed "$pkg" && continue
  install "$pkg" || { lacking+=("$pkg"); message=$(apt_message); }
done
[ ${#lacking[@]} -eq 0 ] && exit 0
echo "ensure-packages: could not install ${lacking[*]}: ${message:-apt-get install failed}" >&2
exit "$unavailable"
