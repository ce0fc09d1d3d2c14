#!/usr/bin/env bash
# The bundle's descriptions pass lv2_validate; lv2info, finding the plug-in in
# the build's bundle folder alone, lists its 102 controls, one event input and
# two audio outputs; and velmora_dsp.so stands alone: it needs no library of
# ours, nor X11, cairo or xcb, and exports lv2_descriptor only.
#     tests/lv2/validate.sh BUNDLE_DIR
set -uo pipefail
bundle=${1:?bundle folder}
status=0

report=$(lv2_validate "$bundle"/manifest.ttl "$bundle"/velmora.ttl "$bundle"/presets/*.ttl 2>&1)
if ! grep -q '^Found 0 errors' <<<"$report" || grep -q '^warning' <<<"$report"; then
    echo "lv2_validate found faults:"
    echo "$report"
    status=1
fi
presets=$(ls "$bundle"/presets/*.ttl | wc -l)
[ "$presets" -eq 31 ] || { echo "$presets preset files, not 31"; status=1; }

info=$(LV2_PATH=$(cd "$(dirname "$bundle")" && pwd) lv2info urn:velmora:instrument 2>&1) || { echo "$info"; exit 1; }
# Each port's two type lines, joined: "Port N: <type> <type>".
ports=$(awk '/^\tPort [0-9]+:/ {if (p) print p; p=$0; next}
             /Type:/ {p=p" "$2; getline; p=p" "$1} END {if (p) print p}' <<<"$info")
count() { grep -c "$1" <<<"$ports" | tr -d ' '; }
controls=$(grep 'lv2core#ControlPort' <<<"$ports" | grep -c 'lv2core#InputPort')
events=$(grep 'atom#AtomPort' <<<"$ports" | grep -c 'lv2core#InputPort')
audio=$(grep 'lv2core#AudioPort' <<<"$ports" | grep -c 'lv2core#OutputPort')
total=$(count 'Port')
if [ "$controls" -ne 102 ] || [ "$events" -ne 1 ] || [ "$audio" -ne 2 ] || [ "$total" -ne 105 ]; then
    echo "lv2info lists $controls control inputs, $events event inputs, $audio audio outputs, $total ports:"
    echo "$info"
    status=1
fi
grep -q 'Required Features: *http://lv2plug.in/ns/ext/urid#map$' <<<"$info" ||
    { echo "required features are not urid:map alone"; status=1; }

dsp="$bundle/velmora_dsp.so"
needed=$(readelf -d "$dsp" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
if grep -q -e velmora -e X11 -e cairo -e xcb <<<"$needed" || readelf -d "$dsp" | grep -q -e RPATH -e RUNPATH; then
    echo "velmora_dsp.so needs: $needed"
    readelf -d "$dsp" | grep -e RPATH -e RUNPATH
    status=1
fi
if ldd "$dsp" | grep -q -e 'not found' -e libX11 -e libcairo -e libxcb; then
    ldd "$dsp"
    status=1
fi
exports=$(nm -D --defined-only "$dsp" | awk '{print $3}')
[ "$exports" = lv2_descriptor ] || { echo "velmora_dsp.so exports:"; echo "$exports"; status=1; }
[ $status -eq 0 ] && echo "descriptions valid; 102 controls, 1 event input, 2 audio outputs; velmora_dsp.so stands alone"
exit $status
