#!/usr/bin/env bash
# Makes the Debian package from a built tree, building nothing and needing no root:
#     scripts/make-deb.sh BUILD_DIR OUT_DIR      (prints OUT_DIR/velmora_VERSION_ARCH.deb)
# The files of `make install` under /usr; binaries stripped as Debian strips them and
# shared libraries 0644; the changelog compressed beside the man page; a copyright
# file in place of LICENSE; Depends from dpkg-shlibdeps.
set -euo pipefail
umask 022
build=$(cd "${1:?build folder}" && pwd)
mkdir -p "${2:?output folder}"
out=$(cd "$2" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
[ -x "$build/velmora" ] || { echo "make-deb: nothing built in $build (run make first)" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
changelog="$source/packaging/changelog"
logged=$(dpkg-parsechangelog -l "$changelog" -S Version)
if [ "$logged" != "$version" ]; then
    echo "make-deb: packaging/changelog is at $logged, the project at $version: add an entry" >&2
    exit 1
fi
maintainer=$(dpkg-parsechangelog -l "$changelog" -S Maintainer)
arch=$(dpkg --print-architecture)
package="$out/velmora_${version}_${arch}.deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Under debian/velmora with its DEBIAN folder, dpkg-shlibdeps takes the libraries found there as the package's own.
root="$work/debian/velmora"
# A `sudo make install` leaves a manifest that only root may write again.
rm -f "$build/install_manifest.txt"
DESTDIR="$root" cmake --install "$build" --prefix /usr > /dev/null
[ -x "$root/usr/bin/velmora" ] || { echo "make-deb: the install rules put no usr/bin/velmora" >&2; exit 1; }

# Strip as dh_strip does: programs keep their dynamic symbols, libraries what they export.
elves=()
while IFS= read -r -d '' file; do
    [ "$(od -An -N4 -tx1 "$file" | tr -d ' ')" = 7f454c46 ] || continue
    elves+=("${file#"$work"/}")
    case "$file" in
        "$root"/usr/bin/*) strip --remove-section=.comment --remove-section=.note "$file" ;;
        *) strip --remove-section=.comment --remove-section=.note --strip-unneeded "$file" ;;
    esac
done < <(find "$root" -type f -print0)

doc="$root/usr/share/doc/velmora"
rm "$doc/LICENSE"
gzip -9n --stdout "$changelog" > "$doc/changelog.gz"
{
    echo "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"
    echo "Upstream-Name: Velmora"
    echo
    echo "Files: *"
    echo "Copyright: 2026, the Velmora developers"
    echo "License: ISC"
    # The licence's own text, without its title and copyright line, as a DEP-5 paragraph.
    sed -n '/^Permission/,$p' "$source/LICENSE" | sed 's/^$/./; s/^/ /'
} > "$doc/copyright"

mkdir "$root/DEBIAN"
find "$root" -type d -exec chmod 0755 {} +
find "$root" -type f -exec chmod 0644 {} +
chmod 0755 "$root"/usr/bin/*

# dpkg-shlibdeps reads the package's name from a control file in the current folder.
printf 'Source: velmora\nMaintainer: %s\n\nPackage: velmora\nArchitecture: any\n' "$maintainer" \
    > "$work/debian/control"
# Our libraries have no version in their names, as private libraries need none: no warning for that.
depends=$(cd "$work" && dpkg-shlibdeps -O "${elves[@]/#/-e}" 2> >(grep -v "can't extract name and version" >&2) |
    sed -n 's/^shlibs:Depends=//p')
[ -n "$depends" ] || { echo "make-deb: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

# As dpkg-gencontrol counts it: each file in whole KiB, each folder one.
size=$(find "$root" -path "$root/DEBIAN" -prune -o \( -type f -printf '%s\n' -o -printf '1\n' \) |
    awk '{ kib += int(($1 + 1023) / 1024) } END { print kib }')
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@MAINTAINER@/$maintainer/" -e "s/@SIZE@/$size/" \
    -e "s/@DEPENDS@/$depends/" "$source/packaging/control.in" > "$root/DEBIAN/control"

(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$root/DEBIAN/md5sums"

# Every file dated by the changelog's entry, so that the same build gives the same package.
export SOURCE_DATE_EPOCH=$(dpkg-parsechangelog -l "$changelog" -S Timestamp)
find "$root" -exec touch --no-dereference --date="@$SOURCE_DATE_EPOCH" {} +
dpkg-deb --root-owner-group -Zxz --build "$root" "$package" > /dev/null
echo "$package"
