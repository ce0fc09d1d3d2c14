#!/usr/bin/env bash
# Installs the Debian packages `make bench` needs beyond the build's own: the LV2 headers
# and lilv for lv2render, Calf's plug-ins for the comparison, Python for the report.
# Does nothing when they are present.
set -euo pipefail
packages=(libbenchmark-dev lv2-dev liblilv-dev calf-plugins python3)
"$(dirname "$0")/install-missing.sh" --no-install-recommends "${packages[@]}"
