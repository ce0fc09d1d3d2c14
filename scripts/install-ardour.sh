#!/usr/bin/env bash
# Installs Debian's Ardour (with its headless Lua interpreter, ardour7-lua) for the
# tests that play the LV2 plug-in in it: about 200 MB without the recommended
# packages. `make test` calls it, `make demo` does not. Does nothing when it is present.
set -euo pipefail
packages=(ardour)
"$(dirname "$0")/install-missing.sh" --no-install-recommends "${packages[@]}"
