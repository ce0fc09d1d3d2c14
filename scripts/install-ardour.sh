#!/usr/bin/env bash
# Installs Debian's Ardour (with its headless Lua interpreter, ardour7-lua) for the
# tests that play the LV2 plug-in in it: about 200 MB without the recommended
# packages. `make test` calls it, `make demo` does not. Does nothing when it is present.
set -euo pipefail
packages=(ardour)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
