#!/usr/bin/env bash
# Installs the Debian packages `make bench` needs beyond the build's own: the LV2 headers
# and lilv for lv2render, Calf's plug-ins for the comparison, Python for the report.
# Does nothing when they are present.
set -euo pipefail
packages=(libbenchmark-dev lv2-dev liblilv-dev calf-plugins python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
