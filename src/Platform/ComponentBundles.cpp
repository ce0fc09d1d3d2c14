// Loading a bundle folder into the component registry: its Info.plist read with
// libplist, its libraries opened with dlopen (a build without either, the web
// page's, links the registry alone).
#include <dlfcn.h>
#include <plist/plist.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "Platform/Components.h"

namespace {

std::string plistString(plist_t dict, const char* key) {
    plist_t node = plist_dict_get_item(dict, key);
    if (!node || plist_get_node_type(node) != PLIST_STRING) return {};
    char* s = nullptr;
    plist_get_string_val(node, &s);
    std::string out = s ? s : "";
    free(s);
    return out;
}

bool toCode(const std::string& s, OSType* out) {
    if (s.size() != 4) return false;
    *out = FourCC(s.c_str());
    return true;
}

int fail(std::string* error, std::string message) {
    if (error) *error = std::move(message);
    return -1;
}

}  // namespace

int RegisterComponentBundle(const std::string& bundlePath, std::string* error) {
    namespace fs = std::filesystem;
    const fs::path contents = fs::path(bundlePath) / "Contents";
    std::ifstream file(contents / "Info.plist", std::ios::binary);
    if (!file) return fail(error, bundlePath + ": no Contents/Info.plist");
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

    plist_t root = nullptr;
    plist_from_memory(bytes.data(), UInt32(bytes.size()), &root);
    if (!root || plist_get_node_type(root) != PLIST_DICT) {
        if (root) plist_free(root);
        return fail(error, bundlePath + ": Info.plist is not a property-list dictionary");
    }
    std::unique_ptr<void, void (*)(void*)> rootGuard(root, [](void* p) { plist_free(plist_t(p)); });

    const std::string executable = plistString(root, "CFBundleExecutable");
    plist_t list = plist_dict_get_item(root, "AudioComponents");
    if (executable.empty() || !list || plist_get_node_type(list) != PLIST_ARRAY)
        return fail(error, bundlePath + ": Info.plist lacks CFBundleExecutable or AudioComponents");

    // Loaded libraries stay loaded for the life of the process.
    auto open = [&](const std::string& name) -> void* {
        const fs::path library = contents / "Linux" / name;
        void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
        return handle;
    };
    void* const mainLibrary = open(executable);
    if (!mainLibrary) return fail(error, bundlePath + ": " + dlerror());
    const std::string identifier = plistString(root, "CFBundleIdentifier");
    if (!identifier.empty()) RegisterBundleLocation(identifier, bundlePath);

    int count = 0;
    for (UInt32 i = 0; i < plist_array_get_size(list); ++i) {
        plist_t item = plist_array_get_item(list, i);
        if (plist_get_node_type(item) != PLIST_DICT) continue;
        ComponentDescription desc{};
        if (!toCode(plistString(item, "type"), &desc.componentType) ||
            !toCode(plistString(item, "subtype"), &desc.componentSubType) ||
            !toCode(plistString(item, "manufacturer"), &desc.componentManufacturer))
            return fail(error, bundlePath + ": a component has no four-character type, subtype or manufacturer");
        const std::string own = plistString(item, "executable");
        void* handle = own.empty() ? mainLibrary : open(own);
        if (!handle) return fail(error, bundlePath + ": " + dlerror());
        const std::string entryName = plistString(item, "entry");
        auto entry = reinterpret_cast<ComponentEntryProc>(dlsym(handle, entryName.c_str()));
        if (!entry) return fail(error, bundlePath + ": entry '" + entryName + "' not found");
        if (!RegisterComponentEntry(desc, plistString(item, "name"), entry))
            return fail(error, bundlePath + ": component '" + entryName + "' is already registered");
        ++count;
    }
    return count;
}
