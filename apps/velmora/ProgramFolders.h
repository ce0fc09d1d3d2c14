// Where velmora's own files are, found from the running program, so that the
// build tree and any installed prefix work without a path built in. In the build
// tree everything is beside the program; installed as PREFIX/bin/velmora, the
// libraries and the editor's bundle are in PREFIX/lib/velmora (always lib, as
// the program's run path says) and the data in PREFIX/share/velmora.
#pragma once
#include <filesystem>

struct ProgramFolders {
    std::filesystem::path libraries;  // libvelmora_edit.so, Velmora.component
    std::filesystem::path data;       // audition.mid
    std::filesystem::path icons;      // hicolor/NxN/apps/velmora.png
};

const ProgramFolders& programFolders();
