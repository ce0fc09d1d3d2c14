// Writes the hostile preset files into a folder as seeds for fuzz_state: they
// are too large to keep in the repository and cheap to make.
//     make_state_seeds FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "../support/HostilePresets.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_state_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const auto& [name, content] : hostile::all())
        if (!(std::ofstream(folder / (name + ".aupreset"), std::ios::binary) << content)) {
            std::fprintf(stderr, "make_state_seeds: cannot write %s\n", name.c_str());
            return 1;
        }
    return 0;
}
