// harmonicTables() for the web build: computed once, at the first instance. The
// linked-in data would add half a megabyte to each module a page downloads.
#include "Velmora/HarmonicTables.h"

const HarmonicTables& harmonicTables() {
    static const HarmonicTables* const tables = [] {
        auto* t = new HarmonicTables;
        computeHarmonicTables(*t);
        return t;
    }();
    return *tables;
}
