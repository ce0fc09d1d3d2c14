// The panel's own texts: the value's row, or the row's dashes past the table.
#include "VelmoraView/VelmoraFormatters.h"

#include <cstring>
#include <initializer_list>

namespace {

void pick(UInt32 value, char* text, std::initializer_list<const char*> rows, const char* dashes) {
    std::strcpy(text, value < rows.size() ? rows.begin()[value] : dashes);
}

}  // namespace

extern "C" {

void long2Trigger(UInt32 value, char* text, void*) { pick(value, text, {"legato", "retrig"}, "------"); }

void long2noise(UInt32 value, char* text, void*) { pick(value, text, {"off", "phshsh"}, "------"); }

void long2Shaper(UInt32 value, char* text, void*) {
    pick(value, text, {"off", "scramble", "engage", "degenerat", "wedge"}, "---------");
}

void long2linemode(UInt32 value, char* text, void*) {
    pick(value, text, {"2 + 1", "2 - 1", "2 x 1", "1", "2"}, "------");
}
}
