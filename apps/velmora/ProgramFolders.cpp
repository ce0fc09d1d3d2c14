// Where velmora's own files are.
#include "ProgramFolders.h"

namespace fs = std::filesystem;

const ProgramFolders& programFolders() {
    static const ProgramFolders folders = [] {
        const fs::path bin = fs::read_symlink("/proc/self/exe").parent_path();
        // The build tree puts the editor library beside the program; an installed bin/ holds nothing else of ours.
        std::error_code error;
        if (fs::exists(bin / "libvelmora_edit.so", error)) return ProgramFolders{bin, bin, bin / "icons"};
        return ProgramFolders{(bin / "../lib/velmora").lexically_normal(),
                              (bin / "../share/velmora").lexically_normal(),
                              (bin / "../share/icons").lexically_normal()};
    }();
    return folders;
}
