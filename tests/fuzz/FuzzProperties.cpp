// Fuzz target: the property calls with any ID, scope, element and size: get
// info, get into a buffer large enough for any property with any stated size,
// and set with arbitrary bytes, between renders, initializations and resets.
// The bytes never supply a pointer: where a property's data holds pointers
// (states, preset names, arrays, callbacks, connections, external buffers)
// the target builds valid or null ones itself. Nothing may fault or leak.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "FuzzInstrument.h"

namespace {

constexpr UInt32 kKnownIds[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  11, 12,   13,   14,
                                15, 16, 18, 20, 22, 23, 24, 26, 27, 28, 1006, 64000};

// Memory a property may be read into or an external buffer may point to.
alignas(64) UInt8 gExternal[16384];
int gListenerCalls = 0;

OSStatus renderCallback(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*) {
    return noErr;
}
OSStatus inputCallback(void*, AudioUnitRenderActionFlags, const AudioTimeStamp*, UInt32, AudioBuffer*) { return noErr; }
// A listener that calls back into the unit, as hosts do.
void listener(void*, AudioUnit unit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++gListenerCalls;
    AUPreset preset{};
    UInt32 size = sizeof preset;
    AudioUnitGetProperty(unit, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &preset, &size);
}

bool ownsResult(AudioUnitPropertyID id) {
    return id == kAudioUnitProperty_ClassInfo || id == kAudioUnitProperty_FactoryPresets ||
           id == kAudioUnitProperty_ParameterValueStrings;
}

// A property-list object of a kind the bytes choose; the caller owns it.
CFTypeRef makeObject(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            const SInt32 v = in.ConsumeIntegral<SInt32>();
            return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v);
        }
        case 1: {
            const double v = in.ConsumeFloatingPoint<double>();
            return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v);
        }
        case 2: {
            const std::vector<UInt8> bytes = in.ConsumeBytes<UInt8>(in.ConsumeIntegralInRange(0, 600));
            return CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size()));
        }
        default:
            return CFStringCreateWithCString(nullptr, in.ConsumeRandomLengthString(64).c_str(), kCFStringEncodingUTF8);
    }
}

// A state for the class-info property: the unit's own, one with a key set to
// another object, something that is not a dictionary, or null. Owned.
CFPropertyListRef makeState(FuzzedDataProvider& in, AudioUnit unit) {
    const int kind = in.ConsumeIntegralInRange(0, 3);
    if (kind == 3) return nullptr;
    if (kind == 2) return makeObject(in);
    CFPropertyListRef saved = nullptr;
    UInt32 size = sizeof saved;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &saved, &size) != noErr)
        return nullptr;
    if (kind == 0) return saved;
    static const char* kKeys[] = {"version", "type",         "subtype",        "manufacturer", "data",
                                  "name",    "ZPQ-DATA-KEY", "render-quality", "cpu-load"};
    auto from = static_cast<CFDictionaryRef>(saved);
    CFMutableDictionaryRef copy =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const CFIndex n = CFDictionaryGetCount(from);
    std::vector<const void*> keys(static_cast<size_t>(n)), values(static_cast<size_t>(n));
    CFDictionaryGetKeysAndValues(from, keys.data(), values.data());
    for (CFIndex i = 0; i < n; ++i) CFDictionarySetValue(copy, keys[size_t(i)], values[size_t(i)]);
    CFRelease(saved);
    CFTypeRef value = makeObject(in);
    CFDictionarySetValue(copy, CFSTR_(in.PickValueInArray(kKeys)), value);
    CFRelease(value);
    return copy;
}

// Sets a property whose data holds pointers, with pointers of our own.
void setPointerProperty(FuzzedDataProvider& in, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                        AudioUnitElement element) {
    alignas(16) UInt8 data[64] = {};
    UInt32 size = 0;
    CFTypeRef owned = nullptr;
    switch (id) {
        case kAudioUnitProperty_ClassInfo:
            owned = makeState(in, unit);
            std::memcpy(data, &owned, sizeof owned);
            size = sizeof owned;
            break;
        case kAudioUnitProperty_FactoryPresets:
        case kAudioUnitProperty_ParameterValueStrings: {
            CFTypeRef item = makeObject(in);
            const void* items[] = {item};
            owned = in.ConsumeBool() ? CFArrayCreate(nullptr, items, 1, &kCFTypeArrayCallBacks) : nullptr;
            CFRelease(item);
            std::memcpy(data, &owned, sizeof owned);
            size = sizeof owned;
            break;
        }
        case kAudioUnitProperty_CurrentPreset: {
            const int kind = in.ConsumeIntegralInRange(0, 2);
            owned = kind == 0   ? nullptr
                    : kind == 1 ? CFStringCreateWithCString(nullptr, in.ConsumeRandomLengthString(48).c_str(),
                                                            kCFStringEncodingUTF8)
                                : makeObject(in);
            const AUPreset preset{
                in.ConsumeBool() ? in.ConsumeIntegralInRange<SInt32>(-2, 32) : in.ConsumeIntegral<SInt32>(),
                static_cast<CFStringRef>(owned)};
            std::memcpy(data, &preset, sizeof preset);
            size = sizeof preset;
            break;
        }
        case kAudioUnitProperty_SetRenderCallback: {
            const AURenderCallbackStruct cb{in.ConsumeBool() ? renderCallback : nullptr,
                                            in.ConsumeBool() ? gExternal : nullptr};
            std::memcpy(data, &cb, sizeof cb);
            size = sizeof cb;
            break;
        }
        case kAudioUnitProperty_SetInputCallback: {
            const AudioUnitInputCallbackStruct cb{in.ConsumeBool() ? inputCallback : nullptr,
                                                  in.ConsumeBool() ? gExternal : nullptr};
            std::memcpy(data, &cb, sizeof cb);
            size = sizeof cb;
            break;
        }
        case kAudioUnitProperty_MakeConnection: {
            const AudioUnitConnection c{in.ConsumeBool() ? unit : nullptr, in.ConsumeIntegral<UInt32>(),
                                        in.ConsumeIntegral<UInt32>()};
            std::memcpy(data, &c, sizeof c);
            size = sizeof c;
            break;
        }
        case kAudioUnitProperty_HostCallbacks: {
            const HostCallbackInfo info{in.ConsumeBool() ? gExternal : nullptr,
                                        in.ConsumeBool() ? reinterpret_cast<void*>(renderCallback) : nullptr,
                                        in.ConsumeBool() ? reinterpret_cast<void*>(inputCallback) : nullptr};
            std::memcpy(data, &info, sizeof info);
            size = sizeof info;
            break;
        }
        case kAudioUnitProperty_SetExternalBuffer: {
            const UInt32 offset = in.ConsumeIntegralInRange<UInt32>(0, 64);
            const AudioUnitExternalBuffer ext{in.ConsumeBool() ? gExternal + offset : nullptr,
                                              in.ConsumeIntegralInRange<UInt32>(0, sizeof gExternal - offset)};
            std::memcpy(data, &ext, sizeof ext);
            size = sizeof ext;
            break;
        }
        default: return;
    }
    // Mostly the record's size; sometimes shorter or longer (the rest zeros).
    if (in.ConsumeIntegralInRange(0, 7) == 0) size = in.ConsumeIntegralInRange<UInt32>(0, sizeof data);
    AudioUnitSetProperty(unit, id, scope, element, size ? data : nullptr, size);
    if (owned) CFRelease(owned);
}

bool holdsPointers(AudioUnitPropertyID id) {
    switch (id) {
        case kAudioUnitProperty_ClassInfo:
        case kAudioUnitProperty_MakeConnection:
        case kAudioUnitProperty_SetInputCallback:
        case kAudioUnitProperty_SetExternalBuffer:
        case kAudioUnitProperty_ParameterValueStrings:
        case kAudioUnitProperty_SetRenderCallback:
        case kAudioUnitProperty_FactoryPresets:
        case kAudioUnitProperty_HostCallbacks:
        case kAudioUnitProperty_CurrentPreset: return true;
        default: return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    fuzz::Instrument inst(false);
    const AudioUnit unit = inst.unit;
    alignas(64) static UInt8 out[8192];
    int steps = 0;
    while (in.remaining_bytes() > 0 && ++steps < 300) {
        const AudioUnitPropertyID id =
            in.ConsumeIntegralInRange(0, 7) ? in.PickValueInArray(kKnownIds) : in.ConsumeIntegral<UInt32>();
        const AudioUnitScope scope = in.ConsumeIntegralInRange(0, 3) ? kAudioUnitScope_Global
                                     : in.ConsumeBool()              ? in.ConsumeIntegralInRange<UInt32>(0, 4)
                                                                     : in.ConsumeIntegral<UInt32>();
        const AudioUnitElement element =
            in.ConsumeIntegralInRange(0, 3) ? in.ConsumeIntegralInRange<UInt32>(0, 2) : in.ConsumeIntegral<UInt32>();
        switch (in.ConsumeIntegralInRange(0, 9)) {
            case 0: {  // get info, with or without the result pointers
                UInt32 infoSize = 0;
                Boolean writable = false;
                AudioUnitGetPropertyInfo(unit, id, scope, element, in.ConsumeBool() ? &infoSize : nullptr,
                                         in.ConsumeBool() ? &writable : nullptr);
                break;
            }
            case 1:
            case 2: {  // get with any stated size into a buffer that holds any property
                UInt32 ioSize = in.ConsumeBool() ? in.ConsumeIntegralInRange<UInt32>(0, 64)
                                                 : in.ConsumeIntegralInRange<UInt32>(0, sizeof out);
                const bool query = in.ConsumeIntegralInRange(0, 7) == 0;
                // A new object handed back in a slot too small for its reference would be
                // lost by the host's own mistake: ask those with room for the reference.
                if (ownsResult(id) && ioSize < sizeof(CFTypeRef)) ioSize = sizeof(CFTypeRef);
                std::memset(out, 0, sizeof out);
                const OSStatus status = AudioUnitGetProperty(unit, id, scope, element, query ? nullptr : out, &ioSize);
                if (status == noErr && !query && ownsResult(id) && ioSize >= sizeof(CFTypeRef)) {
                    CFTypeRef result = nullptr;
                    std::memcpy(&result, out, sizeof result);
                    if (result) CFRelease(result);
                }
                break;
            }
            case 3:
            case 4: {  // set: pointers of our own, or arbitrary bytes of any size
                if (holdsPointers(id)) {
                    setPointerProperty(in, unit, id, scope, element);
                } else {
                    const std::vector<UInt8> bytes = in.ConsumeBytes<UInt8>(in.ConsumeIntegralInRange(0, 128));
                    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
                    AudioUnitSetProperty(
                        unit, id, scope, element, bytes.empty() ? nullptr : out,
                        in.ConsumeBool() ? UInt32(bytes.size()) : in.ConsumeIntegralInRange<UInt32>(0, 128));
                }
                break;
            }
            case 5:
                if (in.ConsumeBool())
                    AudioUnitAddPropertyListener(unit, id, listener, nullptr);
                else
                    AudioUnitRemovePropertyListener(unit, id, listener);
                break;
            case 6:
                switch (in.ConsumeIntegralInRange(0, 3)) {
                    case 0: AudioUnitInitialize(unit); break;
                    case 1: AudioUnitUninitialize(unit); break;
                    case 2: AudioUnitReset(unit, scope, element); break;
                    default: MusicDeviceMIDIEvent(unit, 0x90, 24 + in.ConsumeIntegralInRange(0, 79), 100, 0);
                }
                break;
            case 7:
                AudioUnitSetParameter(unit, in.ConsumeIntegralInRange<UInt32>(0, 101), scope, element,
                                      in.ConsumeFloatingPointInRange(-10.0f, 110.0f), 0);
                break;
            default:
                inst.render(in.ConsumeBool() ? 64 : in.ConsumeIntegralInRange<UInt32>(0, 1200), in.ConsumeBool());
                break;
        }
    }
    return 0;
}
