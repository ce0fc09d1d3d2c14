#!/usr/bin/env bash
# Installs what `make web` and the browser tests need, from Debian: Emscripten
# (with its node), Chromium with the matching driver, and Selenium for Python;
# and for the panel's pictures and font, which the build draws and copies as
# for `velmora edit`: a C++ compiler, cairo and DejaVu Sans Mono. About 1.1 GB;
# `make web` and `make test` call it, `make demo` does not. Does nothing when
# they are present.
set -euo pipefail
packages=(emscripten chromium chromium-driver python3-selenium g++ pkg-config libcairo2-dev fonts-dejavu-core)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
