// Registration of the editor linked into a program.
#include "Binding/VelmoraViewEntry.h"

Component RegisterVelmoraView(const std::string& bundlePath) {
    static Component component = RegisterComponentEntry(kVelmoraViewDescription, "Velmora Editor", VelmoraAUViewEntry);
    RegisterBundleLocation(kVelmoraBundleIdentifier, bundlePath);
    return component;
}
