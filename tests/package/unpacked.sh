#!/usr/bin/env bash
# The Debian package, made from this build and unpacked into a temporary root,
# runs from there with no build folder on any path and nothing but the unpacked
# bundle on LV2_PATH: --version, a render equal to the build tree's bit for bit,
# the panel's screenshot (the pictures found from the program) equal to the
# build tree's, presets --measure from another folder, lv2info finding the
# bundle. Also what Debian asks of the files: stripped, libraries 0644, root's.
#     tests/package/unpacked.sh BUILD_DIR SOURCE_DIR
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

package=$("$source/scripts/make-deb.sh" "$build" "$work") || exit 1
dpkg-deb -x "$package" "$work/root" || exit 1
usr="$work/root/usr"
version=$(dpkg-deb -f "$package" Version)

# Nothing of the build tree inside: no run path, no path built in.
named=$(grep -rl -F "$build" "$work/root") && fail "files name the build folder: $named"
dpkg-deb -c "$package" | awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' || fail "files not root's"
while IFS= read -r -d '' file; do
    [ "$(od -An -N4 -tx1 "$file" | tr -d ' ')" = 7f454c46 ] || continue
    readelf -S "$file" | grep -q -e '\.symtab' -e '\.debug_' && fail "${file#"$work"/root} is not stripped"
    case "$file" in
        "$usr"/bin/*) ;;
        *) [ "$(stat -c %a "$file")" = 644 ] || fail "${file#"$work"/root} is $(stat -c %a "$file"), not 644" ;;
    esac
done < <(find "$work/root" -type f -print0)
zcat "$usr/share/doc/velmora/changelog.gz" | head -1 | grep -q "^velmora ($version)" || fail "changelog"
grep -q '^License: ISC' "$usr/share/doc/velmora/copyright" || fail "no copyright file"

# From a folder of its own, as a person would run it; env -i leaves no build path behind.
mkdir "$work/run" && cd "$work/run" || exit 1
run() { env -i HOME="$work/run" PATH="$usr/bin:/usr/bin:/bin" LV2_PATH="$usr/lib/lv2" "$@"; }
[ "$(run sh -c 'command -v velmora')" = "$usr/bin/velmora" ] || fail "velmora is not the unpacked one"
run velmora --version | grep -Eq "^velmora $version( \(git [^)]+\))?$" ||
    fail "velmora --version says '$(run velmora --version 2>&1)'"

run velmora render "$source/examples/demo.mid" package.wav > /dev/null || fail "render"
"$build/velmora" render "$source/examples/demo.mid" build.wav > /dev/null
cmp -s package.wav build.wav || fail "the unpacked render differs from the build tree's"

run velmora edit --screenshot package.png || fail "edit --screenshot"
"$build/velmora" edit --screenshot build.png
cmp -s package.png build.png || fail "the unpacked panel differs from the build tree's"

measured=$(run velmora presets --measure) || fail "presets --measure"
[ "$(grep -c '^ *[0-9]' <<<"$measured")" -eq 31 ] || fail "presets --measure printed: $measured"

info=$(run lv2info urn:velmora:instrument 2>&1) || fail "lv2info does not find the plug-in: $info"
grep -q "Bundle: *file://$usr/lib/lv2/velmora.lv2/$" <<<"$info" || fail "lv2info found another bundle: $info"

desktop="$usr/share/applications/velmora.desktop"
desktop-file-validate "$desktop" || fail "the menu entry does not validate"
grep -q '^Exec=velmora play$' "$desktop" || fail "the menu entry does not run velmora play"
[ -f "$usr/share/icons/hicolor/48x48/apps/velmora.png" ] || fail "no icon"

[ $status -eq 0 ] && echo "$(basename "$package") ($(stat -c %s "$package") bytes) runs unpacked"
exit $status
