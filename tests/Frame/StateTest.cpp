// Saving and restoring a unit's state through the class-info property.
#include <cstring>

#include "TestUnit.h"

namespace {
CFNumberRef Number(SInt32 value) { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &value); }

// A copy of `state` with `key` set to `value`, or removed when value is null.
CFDictionaryRef Edited(CFPropertyListRef state, const char* key, CFTypeRef value) {
    auto from = static_cast<CFDictionaryRef>(state);
    const size_t n = size_t(CFDictionaryGetCount(from));
    std::vector<const void*> keys(n), values(n);
    CFDictionaryGetKeysAndValues(from, keys.data(), values.data());
    CFMutableDictionaryRef copy =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (size_t i = 0; i < n; ++i)
        if (!CFStringEqual(static_cast<CFStringRef>(keys[i]), CFSTR_(key))) CFDictionarySetValue(copy, keys[i], values[i]);
    if (value) CFDictionarySetValue(copy, CFSTR_(key), value);
    return copy;
}

CFDataRef Block(std::vector<UInt8> bytes) { return CFDataCreate(nullptr, bytes.data(), CFIndex(bytes.size())); }
}  // namespace

class FrameState : public FrameTest {
protected:
    static CFPropertyListRef save(AudioUnit unit) {
        CFPropertyListRef state = nullptr;
        UInt32 size = 0;
        EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ClassInfo, 0, 0, &size, nullptr), noErr);
        EXPECT_EQ(size, sizeof state);
        EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, 0, 0, &state, &size), noErr);
        return state;
    }
    OSStatus restore(CFPropertyListRef state) {
        return AudioUnitSetProperty(au, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &state, sizeof state);
    }
    // Releases an edited or saved state after handing it to the unit.
    OSStatus restoreAndRelease(CFPropertyListRef state) {
        const OSStatus result = restore(state);
        CFRelease(state);
        return result;
    }
    Float32 outputParameter(AudioUnitParameterID id) {
        Float32 value = -1;
        EXPECT_EQ(AudioUnitGetParameter(au, id, kAudioUnitScope_Output, 0, &value), noErr);
        return value;
    }
    std::string presetName() {
        AUPreset p{};
        EXPECT_EQ(get(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, p), noErr);
        return CFStringGetUTF8(p.presetName);
    }
    void setPresetName(const char* name) {
        ASSERT_EQ(set(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, AUPreset{-3, CFSTR_(name)}), noErr);
    }
};

TEST_F(FrameState, RoundTripRestoresParametersAndName) {
    ASSERT_EQ(AudioUnitSetParameter(au, 7, kAudioUnitScope_Output, 0, 0.75f, 0), noErr);
    ASSERT_EQ(AudioUnitSetParameter(au, 3, kAudioUnitScope_Global, 0, -2.5f, 0), noErr);
    setPresetName("Warm");
    CFPropertyListRef state = save(au);
    ASSERT_NE(state, nullptr);

    // Big-endian records, global scope first: scope, element, count, then (ID, value bits).
    auto data = static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("data")));
    const std::vector<UInt8> expected = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0xC0, 0x20, 0, 0,
                                         0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 7, 0x3F, 0x40, 0, 0};
    ASSERT_EQ(CFDataGetLength(data), CFIndex(expected.size()));
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(data), expected.data(), expected.size()), 0);

    // Into a fresh instance of the same component.
    CloseComponent(au);
    au = OpenTestUnit();
    EXPECT_EQ(restoreAndRelease(state), noErr);
    EXPECT_EQ(outputParameter(7), 0.75f);
    Float32 global = 0;
    EXPECT_EQ(AudioUnitGetParameter(au, 3, kAudioUnitScope_Global, 0, &global), noErr);
    EXPECT_EQ(global, -2.5f);
    EXPECT_EQ(presetName(), "Warm");
}

struct Refusal {
    const char* key;
    SInt32 value;  // the number put under `key`; kDrop removes the key
    OSStatus result;
};
constexpr SInt32 kDrop = 0x7FFFFFFF;

class FrameStateRefusal : public FrameState, public ::testing::WithParamInterface<Refusal> {};

TEST_P(FrameStateRefusal, ChangesNothing) {
    ASSERT_EQ(AudioUnitSetParameter(au, 7, kAudioUnitScope_Output, 0, 0.6f, 0), noErr);
    CFPropertyListRef state = save(au);
    ASSERT_EQ(AudioUnitSetParameter(au, 7, kAudioUnitScope_Output, 0, 0.1f, 0), noErr);
    setPresetName("Keep");

    const Refusal r = GetParam();
    CFNumberRef number = r.value == kDrop ? nullptr : Number(r.value);
    EXPECT_EQ(restoreAndRelease(Edited(state, r.key, number)), r.result);
    if (number) CFRelease(number);
    CFRelease(state);
    EXPECT_EQ(outputParameter(7), 0.1f);
    EXPECT_EQ(presetName(), "Keep");
}

INSTANTIATE_TEST_SUITE_P(Keys, FrameStateRefusal,
                         ::testing::Values(Refusal{"version", 1, kAudioUnitErr_InvalidPropertyValue},
                                           Refusal{"version", kDrop, kAudioUnitErr_InvalidPropertyValue},
                                           Refusal{"type", SInt32(FourCC("aufx")), kAudioUnitErr_InvalidPropertyValue},
                                           Refusal{"subtype", SInt32(kOtherSubType), kAudioUnitErr_InvalidPropertyValue},
                                           Refusal{"manufacturer", 0, kAudioUnitErr_InvalidPropertyValue},
                                           Refusal{"data", kDrop, kAudioUnitErr_InvalidPropertyValue},
                                           Refusal{"data", 0, kAudioUnitErr_InvalidPropertyValue}));

TEST_F(FrameState, BlockNamingAMissingElementChangesNothing) {
    ASSERT_EQ(AudioUnitSetParameter(au, 7, kAudioUnitScope_Output, 0, 0.1f, 0), noErr);
    CFPropertyListRef state = save(au);
    // A valid record for output 0, then one for output 3, which does not exist.
    CFDataRef block = Block({0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 7, 0x3F, 0x40, 0, 0,
                             0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 7, 0x3F, 0x40, 0, 0});
    EXPECT_EQ(restoreAndRelease(Edited(state, "data", block)), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(outputParameter(7), 0.1f);
    CFRelease(block);
    CFRelease(state);
}

TEST_F(FrameState, EmptyBlockAndMissingNameAreValid) {
    CFPropertyListRef fresh = save(au);  // nothing set yet: an empty block
    auto data = static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(fresh), CFSTR("data")));
    EXPECT_EQ(CFDataGetLength(data), 0);

    ASSERT_EQ(AudioUnitSetParameter(au, 7, kAudioUnitScope_Output, 0, 0.1f, 0), noErr);
    EXPECT_EQ(restoreAndRelease(Edited(fresh, "name", CFSTR("Fresh"))), noErr);
    EXPECT_EQ(outputParameter(7), 0.1f);
    EXPECT_EQ(presetName(), "Fresh");

    EXPECT_EQ(restoreAndRelease(Edited(fresh, "name", nullptr)), noErr);
    EXPECT_EQ(presetName(), "Untitled");
    CFRelease(fresh);
}
