// The component registry and instance storage.
#include "Platform/Components.h"

#include <dlfcn.h>
#include <plist/plist.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <vector>

struct ComponentRecord {
    ComponentDescription desc;
    std::string name;
    ComponentEntryProc entry;
};

struct ComponentInstanceRecord {
    ComponentRecord* component;
    void* storage;
};

namespace {

struct Registry {
    std::mutex lock;
    std::vector<std::unique_ptr<ComponentRecord>> components;
    std::vector<void*> libraries;                              // kept loaded for the life of the process
    std::vector<std::pair<std::string, std::string>> bundles;  // identifier, folder
};

Registry& registry() {
    static Registry* r = new Registry;  // never destroyed: components may outlive static destruction
    return *r;
}

bool sameCodes(const ComponentDescription& a, const ComponentDescription& b) {
    return a.componentType == b.componentType && a.componentSubType == b.componentSubType &&
           a.componentManufacturer == b.componentManufacturer;
}

bool matches(const ComponentDescription& want, const ComponentDescription& have) {
    return (!want.componentType || want.componentType == have.componentType) &&
           (!want.componentSubType || want.componentSubType == have.componentSubType) &&
           (!want.componentManufacturer || want.componentManufacturer == have.componentManufacturer);
}

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

Component RegisterComponentEntry(const ComponentDescription& desc, const std::string& name, ComponentEntryProc entry) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    for (auto& c : r.components)
        if (sameCodes(c->desc, desc)) return c->entry == entry ? c.get() : nullptr;
    r.components.push_back(std::make_unique<ComponentRecord>(ComponentRecord{desc, name, entry}));
    return r.components.back().get();
}

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
        if (handle) {
            std::lock_guard guard(registry().lock);
            registry().libraries.push_back(handle);
        }
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

void RegisterBundleLocation(const std::string& identifier, const std::string& bundlePath) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    for (auto& [id, path] : r.bundles)
        if (id == identifier) {
            path = bundlePath;
            return;
        }
    r.bundles.emplace_back(identifier, bundlePath);
}

std::string FindBundleLocation(const std::string& identifier) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    for (auto& [id, path] : r.bundles)
        if (id == identifier) return path;
    return {};
}

Component FindNextComponent(Component previous, const ComponentDescription& desc) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    bool started = previous == nullptr;
    for (auto& c : r.components) {
        if (started && matches(desc, c->desc)) return c.get();
        if (c.get() == previous) started = true;
    }
    return nullptr;
}

OSErr OpenAComponent(Component comp, ComponentInstance* outInstance) {
    if (!comp || !outInstance) return OSErr(paramErr);
    auto* instance = new ComponentInstanceRecord{comp, nullptr};
    ComponentParameters p{};
    p.what = kComponentOpenSelect;
    p.paramSize = sizeof(long);
    p.params[0] = reinterpret_cast<long>(instance);
    const OSStatus result = comp->entry(&p, nullptr);
    if (result != noErr) {
        delete instance;
        *outInstance = nullptr;
        return OSErr(result);
    }
    *outInstance = instance;
    return noErr;
}

OSErr CloseComponent(ComponentInstance instance) {
    if (!instance) return OSErr(paramErr);
    ComponentParameters p{};
    p.what = kComponentCloseSelect;
    p.paramSize = sizeof(long);
    p.params[0] = reinterpret_cast<long>(instance);
    const OSStatus result = instance->component->entry(&p, instance->storage);
    delete instance;
    return OSErr(result);
}

OSErr GetComponentInfo(Component comp, ComponentDescription* outDesc, std::string* outName) {
    if (!comp) return OSErr(invalidComponentID);
    if (outDesc) *outDesc = comp->desc;
    if (outName) *outName = comp->name;
    return noErr;
}

OSErr GetComponentInfo(ComponentInstance instance, ComponentDescription* outDesc, std::string* outName) {
    if (!instance) return OSErr(invalidComponentID);
    return GetComponentInfo(instance->component, outDesc, outName);
}

void* GetComponentInstanceStorage(ComponentInstance instance) { return instance ? instance->storage : nullptr; }

void SetComponentInstanceStorage(ComponentInstance instance, void* storage) {
    if (instance) instance->storage = storage;
}

OSStatus CallComponentDispatch(ComponentInstance instance, ComponentParameters* params) {
    if (!instance) return badComponentInstance;
    return instance->component->entry(params, instance->storage);
}

OSStatus CallComponentCanDo(ComponentInstance instance, SInt16 selector) {
    return CallComponent(instance, kComponentCanDoSelect, selector);
}

OSStatus CallComponentVersion(ComponentInstance instance) { return CallComponent(instance, kComponentVersionSelect); }
