// The component registry and instance storage (bundle folders are loaded in ComponentBundles.cpp).
#include "Platform/Components.h"

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

}  // namespace

Component RegisterComponentEntry(const ComponentDescription& desc, const std::string& name, ComponentEntryProc entry) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    for (auto& c : r.components)
        if (sameCodes(c->desc, desc)) return c->entry == entry ? c.get() : nullptr;
    r.components.push_back(std::make_unique<ComponentRecord>(ComponentRecord{desc, name, entry}));
    return r.components.back().get();
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
