#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing (apt-get update once).
set -euo pipefail
missing=()
for pkg in "$@"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "== installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Packages named NAME:ARCH (e.g. wine32:i386) need that architecture enabled before the update.
for pkg in "${missing[@]}"; do
  case "$pkg" in
  *:*) arch=${pkg##*:}
       dpkg --print-foreign-architectures | grep -qx "$arch" || $SUDO dpkg --add-architecture "$arch" ;;
  esac
done
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
