#!/usr/bin/env bash
# Removes what `make install` put in DESTDIR/PREFIX: every file that the build's
# install rules lay out there (learnt by installing into a temporary folder, so
# that any prefix works), then the folders of our own this leaves empty.
#     [DESTDIR=...] scripts/uninstall.sh BUILD_DIR PREFIX
set -euo pipefail
build=${1:?build folder}
prefix=${2:?prefix}
case "$prefix" in /*) ;; *) echo "uninstall: PREFIX must be an absolute path" >&2; exit 2 ;; esac
[ -f "$build/cmake_install.cmake" ] || { echo "uninstall: no build in $build to learn the files from" >&2; exit 1; }
target="${DESTDIR:-}$prefix"

list=$(mktemp -d)
trap 'rm -rf "$list"' EXIT
# A `sudo make install` leaves a manifest that only root may write again.
rm -f "$build/install_manifest.txt"
DESTDIR="$list" cmake --install "$build" --prefix "$prefix" > /dev/null
installed="$list$prefix"
[ -x "$installed/bin/velmora" ] || { echo "uninstall: the install rules of $build put no bin/velmora" >&2; exit 1; }

while IFS= read -r -d '' file; do
    if [ -e "$target/$file" ] || [ -L "$target/$file" ]; then
        rm -f "$target/$file"
        echo "-- Removed: $target/$file"
    fi
done < <(cd "$installed" && find . ! -type d -printf '%P\0')
# Deepest first; standard folders (bin, share/man/man1 ...) stay.
while IFS= read -r -d '' folder; do
    case "$folder" in *velmora*|*Velmora*) rmdir "$target/$folder" 2>/dev/null || true ;; esac
done < <(cd "$installed" && find . -mindepth 1 -depth -type d -printf '%P\0')
