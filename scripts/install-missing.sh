#!/usr/bin/env bash
# Installs those of the Debian packages named that are not installed yet, with
# apt-get (through sudo when not root); does nothing when all are present.
#   scripts/install-missing.sh [--no-install-recommends] PACKAGE...
set -euo pipefail
options=()
if [ "${1:-}" = "--no-install-recommends" ]; then
    options+=("$1")
    shift
fi
missing=()
for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${options[@]}" "${missing[@]}"
