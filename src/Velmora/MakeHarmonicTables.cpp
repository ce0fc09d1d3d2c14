// velmora_make_tables OUT.cpp: computes the harmonic tables and writes them as a plain
// C++ source that defines harmonicTables(), every float a hexadecimal literal that holds
// its exact bits (any compiler reads it back to the same value). Run by the build.
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "Velmora/HarmonicTables.h"

namespace {

bool writeFloats(std::FILE* out, const char* name, const float* values, int count) {
    std::fprintf(out, "    // %s\n    {", name);
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(values[i])) {
            std::fprintf(stderr, "velmora_make_tables: %s[%d] is not finite\n", name, i);
            return false;
        }
        // A float's exact value printed as a double; the f suffix reads it back unrounded.
        std::fprintf(out, "%s%af,", i % 8 == 0 ? "\n        " : " ", double(values[i]));
    }
    std::fprintf(out, "\n    },\n");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora_make_tables OUT.cpp\n");
        return 2;
    }
    auto t = std::make_unique<HarmonicTables>();
    computeHarmonicTables(*t);

    // Written beside the target and renamed, so that a failed run leaves no half file.
    const std::string path = argv[1], temporary = path + ".tmp";
    std::FILE* out = std::fopen(temporary.c_str(), "w");
    if (!out) {
        std::perror(temporary.c_str());
        return 1;
    }
    std::fprintf(out,
                 "// Written by velmora_make_tables from computeHarmonicTables: do not edit.\n"
                 "#include \"Velmora/HarmonicTables.h\"\n\n"
                 "namespace {\n\n"
                 "alignas(64) constexpr HarmonicTables kTables = {\n");
    constexpr int N = HarmonicTables::kSize, L = HarmonicTables::kLevels;
    bool ok = writeFloats(out, "wave", t->wave, N) && writeFloats(out, "odd", t->odd, L * N) &&
              writeFloats(out, "even", t->even, L * N) && writeFloats(out, "pwm", t->pwm, L * N) &&
              writeFloats(out, "bandLimits", t->bandLimits, L);
    std::fprintf(out,
                 "};\n\n"
                 "}  // namespace\n\n"
                 "const HarmonicTables& harmonicTables() { return kTables; }\n");
    ok = std::ferror(out) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (!ok || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "velmora_make_tables: could not write %s\n", path.c_str());
        std::remove(temporary.c_str());
        return 1;
    }
    return 0;
}
