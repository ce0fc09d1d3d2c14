// The component registry: registering component entries (linked in or loaded
// from a bundle folder), opening instances and calling their entry.
#pragma once
#include <string>
#include <type_traits>
#include "Platform/MacTypes.h"

struct ComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
};
static_assert(sizeof(ComponentDescription) == 20);

// The argument block of a component call. Every argument takes one
// pointer-sized word; word 0 holds the call's last argument. A float travels
// as the bit pattern of its 32-bit value in the low half of its word.
constexpr int kComponentMaxParams = 8;
struct ComponentParameters {
    UInt8 flags;
    UInt8 paramSize;  // bytes of argument words
    SInt16 what;
    long params[kComponentMaxParams];
};

struct ComponentRecord;
struct ComponentInstanceRecord;
using Component = ComponentRecord*;
using ComponentInstance = ComponentInstanceRecord*;
using ComponentEntryProc = OSStatus (*)(ComponentParameters* params, void* storage);

enum : SInt16 {
    kComponentOpenSelect = -1,
    kComponentCloseSelect = -2,
    kComponentCanDoSelect = -3,
    kComponentVersionSelect = -4,
};

// Registers an entry linked into the program. Returns the component, or null
// when the description is already registered with another entry.
Component RegisterComponentEntry(const ComponentDescription& desc, const std::string& name, ComponentEntryProc entry);

// Loads a bundle folder (Name.component/Contents/{Info.plist, Linux/lib.so}),
// registers every component its Info.plist lists and returns how many. A
// component may name a library of its own ("executable"), so that an editor
// and its window system stay out of the instrument's library. On
// failure returns -1 and puts a message in *error.
int RegisterComponentBundle(const std::string& bundlePath, std::string* error = nullptr);

// Bundle folders by identifier (CFBundleIdentifier): RegisterComponentBundle
// records the folders it loads; a program that links a component in records
// the folder of its resources itself. Empty when the identifier is unknown.
void RegisterBundleLocation(const std::string& identifier, const std::string& bundlePath);
std::string FindBundleLocation(const std::string& identifier);

// Finds the next registered component after `previous` (null: from the start)
// whose fields match `desc`; a zero field in desc matches anything.
Component FindNextComponent(Component previous, const ComponentDescription& desc);

OSErr OpenAComponent(Component comp, ComponentInstance* outInstance);
OSErr CloseComponent(ComponentInstance instance);

// Accepts a component or (as the platform does) an instance.
OSErr GetComponentInfo(Component comp, ComponentDescription* outDesc, std::string* outName = nullptr);
OSErr GetComponentInfo(ComponentInstance instance, ComponentDescription* outDesc, std::string* outName = nullptr);

void* GetComponentInstanceStorage(ComponentInstance instance);
void SetComponentInstanceStorage(ComponentInstance instance, void* storage);

// Calls the instance's entry with a ready argument block.
OSStatus CallComponentDispatch(ComponentInstance instance, ComponentParameters* params);

OSStatus CallComponentCanDo(ComponentInstance instance, SInt16 selector);
OSStatus CallComponentVersion(ComponentInstance instance);

// Builds the argument block of a call: arguments are given in call order and
// stored last-first.
namespace platform_detail {
template <class T>
long toWord(T v) {
    if constexpr (std::is_same_v<T, float>) {
        UInt32 bits;
        __builtin_memcpy(&bits, &v, 4);
        return long(bits);
    } else if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<long>(v);
    } else {
        return long(v);
    }
}
}  // namespace platform_detail

template <class... Args>
OSStatus CallComponent(ComponentInstance instance, SInt16 what, Args... args) {
    static_assert(sizeof...(Args) <= kComponentMaxParams);
    ComponentParameters p{};
    p.what = what;
    p.paramSize = UInt8(sizeof...(Args) * sizeof(long));
    long words[] = {platform_detail::toWord(args)..., 0};
    constexpr int n = int(sizeof...(Args));
    for (int i = 0; i < n; ++i) p.params[i] = words[n - 1 - i];
    return CallComponentDispatch(instance, &p);
}

// Argument decoding for component entries: word i as the given type.
inline UInt32 ComponentParamU32(const ComponentParameters* p, int i) { return UInt32(p->params[i]); }
inline SInt32 ComponentParamS32(const ComponentParameters* p, int i) { return SInt32(p->params[i]); }
inline Float32 ComponentParamFloat(const ComponentParameters* p, int i) {
    UInt32 bits = UInt32(p->params[i]);
    Float32 v;
    __builtin_memcpy(&v, &bits, 4);
    return v;
}
template <class T>
T ComponentParamPtr(const ComponentParameters* p, int i) {
    return reinterpret_cast<T>(p->params[i]);
}
