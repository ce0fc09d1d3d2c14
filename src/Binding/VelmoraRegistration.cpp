// Registration of the instrument linked into a program.
#include "Binding/VelmoraEntry.h"

Component RegisterVelmora() {
    static Component component = RegisterComponentEntry(kVelmoraDescription, "Velmora", VelmoraAUEntry);
    return component;
}
