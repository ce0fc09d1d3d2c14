#!/usr/bin/env python3
"""Fails when a source file includes a layer above its own.

One include root (src/) serves every library, so the compiler cannot tell a
header of a lower layer from one of a higher: this check reads every #include
of src/, apps/, plugins/ and web/ instead. Layers, from the bottom: platform
stand-ins, plug-in host frame (with its editor part above the editor-side
stand-ins), instrument and editor beside each other, binding, the code that
hosts share (src/Host), hosts. The editor-side stand-ins have two backends,
src/PlatformUI (cairo and X11, with what both share) and its twin
src/PlatformWeb (a web page's canvas): one layer.
"""
import pathlib
import re
import sys

FRAME = {"Platform", "AUPublic/AUBase", "AUPublic/OtherBases", "AUPublic/Utility"}
EDITOR_PLATFORM = {"PlatformUI", "PlatformWeb"}
VIEW_FRAME = FRAME | EDITOR_PLATFORM | {"AUPublic/AUCarbonViewBase"}
INSTRUMENT = FRAME | {"Velmora", "Modulators", "Filters"}
EDITOR = VIEW_FRAME | {"Quib", "VelmoraView"}
BINDING = INSTRUMENT | EDITOR | {"Binding"}
HOST = BINDING | {"Host"}
HOSTS = HOST | {"plugins"}

# What each folder may include (quoted includes, by their first folder).
ALLOWED = {
    "src/Platform": {"Platform"},
    "src/PlatformUI": {"Platform", "PlatformUI"},
    "src/PlatformWeb": {"Platform"} | EDITOR_PLATFORM,
    "src/AUPublic/AUBase": FRAME,
    "src/AUPublic/OtherBases": FRAME,
    "src/AUPublic/Utility": FRAME,
    "src/AUPublic/AUCarbonViewBase": VIEW_FRAME,
    "src/Velmora": INSTRUMENT,
    "src/Modulators": INSTRUMENT,
    "src/Filters": INSTRUMENT,
    "src/Quib": EDITOR,
    "src/VelmoraView": EDITOR,
    "src/Binding": BINDING,
    "src/Host": HOST,
    "apps/velmora": HOSTS,
    "plugins/lv2": HOSTS,
    "web": HOSTS,
}

# Libraries of the platform's stand-ins and of hosts: never above those layers
# (src/Host uses none, so that a host without them, the web page, shares it).
HOST_LIBRARIES = {"X11", "cairo", "plist", "jack", "lv2", "sndfile.h", "ebur128.h", "fftw3.h", "emscripten",
                  "emscripten.h"}
LIBRARIES_ALLOWED = {
    "src/Platform": {"plist"},
    "src/PlatformUI": {"X11", "cairo"},
    "src/PlatformWeb": {"emscripten", "emscripten.h"},
    "apps/velmora": HOST_LIBRARIES,
    "plugins/lv2": HOST_LIBRARIES,
    "web": {"emscripten", "emscripten.h"},
}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def layer_of(include):
    parts = include.split("/")
    if parts[0] == "AUPublic" and len(parts) > 2:
        return "AUPublic/" + parts[1]
    return parts[0]


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
    faults = []
    for folder, allowed in ALLOWED.items():
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in {".h", ".cpp"}:
                continue
            for number, line in enumerate(path.read_text().splitlines(), 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                quote, include = match.groups()
                where = f"{path.relative_to(root)}:{number}"
                if quote == '"' and "/" in include and layer_of(include) not in allowed:
                    faults.append(f"{where}: includes \"{include}\", a layer above {folder}")
                library = include.split("/")[0]
                if quote == "<" and library in HOST_LIBRARIES - LIBRARIES_ALLOWED.get(folder, set()):
                    faults.append(f"{where}: includes <{include}>, which {folder} must not use")
    for fault in faults:
        print(fault)
    if faults:
        print(f"check-layers: {len(faults)} include(s) against the layers")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
