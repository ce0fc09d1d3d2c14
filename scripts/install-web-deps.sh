#!/usr/bin/env bash
# Installs what `make web` and the browser tests need, from Debian: Emscripten
# (with its node), Chromium with the matching driver, and Selenium for Python;
# and for the panel's pictures and font, which the build draws and copies as
# for `velmora edit`: a C++ compiler, cairo and DejaVu Sans Mono. About 1.1 GB;
# `make web` and `make test` call it, `make demo` does not. Does nothing when
# they are present.
set -euo pipefail
packages=(emscripten chromium chromium-driver python3-selenium g++ pkg-config libcairo2-dev fonts-dejavu-core)
"$(dirname "$0")/install-missing.sh" --no-install-recommends "${packages[@]}"
