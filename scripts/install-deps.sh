#!/usr/bin/env bash
# Installs the Debian packages the build needs; does nothing when they are present.
set -euo pipefail
packages=(cmake g++ make pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
          libsndfile1-dev libplist-dev libebur128-dev libfftw3-dev
          libx11-dev libxtst-dev libcairo2-dev fonts-dejavu-core  # the editor
          xvfb xauth                        # tests that open real windows
          lv2-dev liblilv-dev lilv-utils sordi  # the LV2 plug-in, its test host and lv2_validate
          jackd2 libjack-jackd2-dev jalv   # velmora play, and the plug-in's UI in a real host
          clang libclang-rt-14-dev  # clang and its fuzzer runtime for the fuzz targets
          dpkg-dev groff-base desktop-file-utils)  # make deb, and the tests of the man page and menu entry
"$(dirname "$0")/install-missing.sh" "${packages[@]}"
