// Saving and restoring a unit's state through the class-info property.
#include <cstring>

#include "TestUnit.h"

namespace {
// A copy of `state` with `key` set to `value`, or without `key` when value is null.
CFPropertyListRef Edited(CFPropertyListRef state, const char* key, CFTypeRef value) {
    auto from = static_cast<CFDictionaryRef>(state);
    const size_t n = size_t(CFDictionaryGetCount(from));
    std::vector<const void*> keys(n), values(n);
    CFDictionaryGetKeysAndValues(from, keys.data(), values.data());
    CFMutableDictionaryRef copy =
        CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (size_t i = 0; i < n; ++i)
        if (!CFStringEqual(static_cast<CFStringRef>(keys[i]), CFSTR_(key)))
            CFDictionarySetValue(copy, keys[i], values[i]);
    if (value) CFDictionarySetValue(copy, CFSTR_(key), value);
    return copy;
}
}  // namespace

class FrameState : public FrameTest {
protected:
    CFPropertyListRef save() {
        CFPropertyListRef state = nullptr;
        UInt32 size = 0;  // hosts size the slot from the info
        EXPECT_EQ(AudioUnitGetPropertyInfo(au, kAudioUnitProperty_ClassInfo, 0, 0, &size, nullptr), noErr);
        EXPECT_EQ(size, sizeof state);
        EXPECT_EQ(AudioUnitGetProperty(au, kAudioUnitProperty_ClassInfo, 0, 0, &state, &size), noErr);
        return state;
    }
    // Hands `state` to the unit and releases it.
    OSStatus restore(CFPropertyListRef state) {
        const OSStatus result = set(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state);
        CFRelease(state);
        return result;
    }
    void setOutputParameter(AudioUnitParameterID id, Float32 value) {
        ASSERT_EQ(AudioUnitSetParameter(au, id, kAudioUnitScope_Output, 0, value, 0), noErr);
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
    setOutputParameter(7, 0.75f);
    ASSERT_EQ(AudioUnitSetParameter(au, 3, kAudioUnitScope_Global, 0, -2.5f, 0), noErr);
    setPresetName("Warm");
    CFPropertyListRef state = save();
    ASSERT_NE(state, nullptr);

    // Big-endian records, global scope first: scope, element, count, then (ID, value bits).
    auto data = static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(state), CFSTR("data")));
    const std::vector<UInt8> expected = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 3, 0xC0, 0x20, 0, 0,
                                         0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 7, 0x3F, 0x40, 0, 0};
    ASSERT_EQ(CFDataGetLength(data), CFIndex(expected.size()));
    EXPECT_EQ(std::memcmp(CFDataGetBytePtr(data), expected.data(), expected.size()), 0);

    CloseComponent(au);  // into a fresh instance of the same component
    au = OpenTestUnit();
    EXPECT_EQ(restore(state), noErr);
    EXPECT_EQ(outputParameter(7), 0.75f);
    Float32 global = 0;
    EXPECT_EQ(AudioUnitGetParameter(au, 3, kAudioUnitScope_Global, 0, &global), noErr);
    EXPECT_EQ(global, -2.5f);
    EXPECT_EQ(presetName(), "Warm");
}

struct Refusal {
    const char* key;
    SInt32 number;  // put under `key`, or kDrop to remove it
};
constexpr SInt32 kDrop = 0x7FFFFFFF;
class FrameStateRefusal : public FrameState, public ::testing::WithParamInterface<Refusal> {};

TEST_P(FrameStateRefusal, ChangesNothing) {
    setOutputParameter(7, 0.6f);
    CFPropertyListRef state = save();
    setOutputParameter(7, 0.1f);
    setPresetName("Keep");

    CFNumberRef number =
        GetParam().number == kDrop ? nullptr : CFNumberCreate(nullptr, kCFNumberSInt32Type, &GetParam().number);
    EXPECT_EQ(restore(Edited(state, GetParam().key, number)), kAudioUnitErr_InvalidPropertyValue);
    if (number) CFRelease(number);
    CFRelease(state);
    EXPECT_EQ(outputParameter(7), 0.1f);
    EXPECT_EQ(presetName(), "Keep");
}

INSTANTIATE_TEST_SUITE_P(Keys, FrameStateRefusal,
                         ::testing::Values(Refusal{"version", 1}, Refusal{"version", kDrop},
                                           Refusal{"type", SInt32(FourCC("aufx"))},
                                           Refusal{"subtype", SInt32(FourCC("frT2"))}, Refusal{"manufacturer", 0},
                                           Refusal{"data", kDrop}, Refusal{"data", 0}));

TEST_F(FrameState, BlockNamingAMissingElementChangesNothing) {
    setOutputParameter(7, 0.1f);
    CFPropertyListRef state = save();
    // A valid record for output 0, then one for output 3, which does not exist.
    const UInt8 bytes[] = {0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 7, 0x3F, 0x40, 0, 0,
                           0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 1, 0, 0, 0, 7, 0x3F, 0x40, 0, 0};
    CFDataRef block = CFDataCreate(nullptr, bytes, sizeof bytes);
    EXPECT_EQ(restore(Edited(state, "data", block)), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(outputParameter(7), 0.1f);
    CFRelease(block);
    CFRelease(state);
}

TEST_F(FrameState, EmptyBlockAndMissingNameAreValid) {
    CFPropertyListRef fresh = save();  // nothing set yet: an empty block
    auto data = static_cast<CFDataRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(fresh), CFSTR("data")));
    EXPECT_EQ(CFDataGetLength(data), 0);

    setOutputParameter(7, 0.1f);
    EXPECT_EQ(restore(Edited(fresh, "name", CFSTR("Fresh"))), noErr);
    EXPECT_EQ(outputParameter(7), 0.1f);
    EXPECT_EQ(presetName(), "Fresh");
    EXPECT_EQ(restore(Edited(fresh, "name", nullptr)), noErr);
    EXPECT_EQ(presetName(), "Untitled");
    CFRelease(fresh);
}
