#!/usr/bin/env bash
# A DESTDIR install into another prefix, as `make install` does it, lays out the
# installed tree and runs from it; `make uninstall`'s script then removes every
# file it put there and the folders of our own, and leaves others' files alone.
#     tests/package/install-uninstall.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$(cd "${1:?build folder}" && pwd)
source=$(cd "${2:?source folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
fail() {
    echo "FAIL: $*"
    status=1
}

dest="$work/dest"
prefix=/opt/velmora-test
root="$dest$prefix"
mkdir -p "$root/bin" "$root/share/doc/other"
echo other > "$root/bin/other"
echo other > "$root/share/doc/other/README"

DESTDIR="$dest" cmake --install "$build" --prefix "$prefix" > /dev/null || exit 1
for file in bin/velmora lib/velmora/libvelmora_platform.so lib/velmora/libvelmora_platformui.so \
    lib/velmora/libvelmora_edit.so lib/velmora/Velmora.component/Contents/Info.plist \
    lib/velmora/Velmora.component/Contents/Linux/libvelmora.so \
    lib/velmora/Velmora.component/Contents/Linux/libvelmora_view.so \
    lib/velmora/Velmora.component/Contents/Resources/tarv_back.png lib/lv2/velmora.lv2/manifest.ttl \
    lib/lv2/velmora.lv2/velmora.ttl lib/lv2/velmora.lv2/velmora_dsp.so share/velmora/audition.mid \
    share/man/man1/velmora.1.gz share/applications/velmora.desktop share/icons/hicolor/256x256/apps/velmora.png \
    share/doc/velmora/README.md share/doc/velmora/LICENSE; do
    [ -f "$root/$file" ] || fail "no $prefix/$file"
done
cd "$work" || exit 1
env -i PATH=/usr/bin:/bin "$root/bin/velmora" edit --screenshot installed.png || fail "edit --screenshot"
"$build/velmora" edit --screenshot build.png
cmp -s installed.png build.png || fail "the installed panel differs from the build tree's"

DESTDIR="$dest" "$source/scripts/uninstall.sh" "$build" "$prefix" > /dev/null || fail "uninstall"
left=$(cd "$dest" && find . ! -type d ! -path "*/other*" && find . -type d -iname "*velmora*" ! -name velmora-test)
[ -z "$left" ] || fail "left behind: $left"
[ -f "$root/bin/other" ] && [ -f "$root/share/doc/other/README" ] || fail "removed others' files"

[ $status -eq 0 ] && echo "installed in $prefix and uninstalled, nothing left"
exit $status
