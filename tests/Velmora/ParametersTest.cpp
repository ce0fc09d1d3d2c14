// The instrument's parameter calls, properties and lifecycle through the host-side calls.
#include <cmath>
#include <cstring>

#include "../support/InstrumentFixture.h"
#include "Velmora/VelmoraParameters.h"

TEST(Parameters, ListHas102IdsInOrder) {
    Instrument inst;
    UInt32 size = 0;
    ASSERT_EQ(AudioUnitGetPropertyInfo(inst.unit, kAudioUnitProperty_ParameterList, 0, 0, &size, nullptr), noErr);
    ASSERT_EQ(size, 102 * sizeof(AudioUnitParameterID));
    std::vector<AudioUnitParameterID> ids(102, 999);
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, kAudioUnitProperty_ParameterList, 0, 0, ids.data(), &size), noErr);
    for (UInt32 i = 0; i < 102; ++i) EXPECT_EQ(ids[i], i);
}

TEST(Parameters, InfoCarriesNameRangeDefaultAndFlags) {
    Instrument inst;
    struct Expected {
        UInt32 id;
        const char* name;
        UInt32 unit;
        float min, max, def;
    };
    for (const Expected& e : {Expected{0, "Volume", 0, 0, 100, 50}, Expected{8, "OSC1 Tune", 0, -24, 24, 0},
                              Expected{11, "OSC1 Mo'logy", 0, 0, 100, 0}, Expected{48, "FilterA type", 1, 0, 17, 0},
                              Expected{83, "LFO1 VModSrc", 1, 0, 14, 1}, Expected{101, "Spectral Dense", 1, 0, 2, 0}}) {
        AudioUnitParameterInfo info{};
        UInt32 size = sizeof info;
        ASSERT_EQ(AudioUnitGetProperty(inst.unit, kAudioUnitProperty_ParameterInfo, 0, e.id, &info, &size), noErr);
        EXPECT_STREQ(info.name, e.name);
        EXPECT_EQ(info.unit, e.unit);
        EXPECT_EQ(info.minValue, e.min);
        EXPECT_EQ(info.maxValue, e.max);
        EXPECT_EQ(info.defaultValue, e.def);
        EXPECT_EQ(info.flags, 0xC0000000u);
        EXPECT_EQ(info.cfNameString, nullptr);
    }
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    EXPECT_EQ(AudioUnitGetProperty(inst.unit, kAudioUnitProperty_ParameterInfo, 0, 102, &info, &size),
              kAudioUnitErr_InvalidParameter);
}

TEST(Parameters, SelectorsAreRoundedOthersStoredAsGiven) {
    Instrument inst;
    inst.set(kOSC1TModSrc, 3.4f);
    EXPECT_EQ(inst.get(kOSC1TModSrc), 3.0f);
    inst.set(kOSC1TModSrc, 2.5f);
    EXPECT_EQ(inst.get(kOSC1TModSrc), 3.0f);
    inst.set(kLFO1Wave, 2.9f);
    EXPECT_EQ(inst.get(kLFO1Wave), 2.9f);
    inst.set(kVolume, 150);
    EXPECT_EQ(inst.get(kVolume), 150.0f);
    inst.set(kOSC1Tune, -30);
    EXPECT_EQ(inst.get(kOSC1Tune), -30.0f);
}

TEST(Parameters, IdsAbove101AreRefused) {
    Instrument inst;
    float v = 0;
    EXPECT_EQ(inst.set(102, 1), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(AudioUnitGetParameter(inst.unit, 5000, 0, 0, &v), kAudioUnitErr_InvalidParameter);
}

TEST(Parameters, InitializeRestoresDefaults) {
    Instrument inst;
    AUPreset init{0, CFSTR("init")};
    ASSERT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_CurrentPreset, 0, 0, &init, sizeof init), noErr);
    EXPECT_EQ(inst.get(kA1), 5.0f);
    AudioUnitUninitialize(inst.unit);
    ASSERT_EQ(AudioUnitInitialize(inst.unit), noErr);
    EXPECT_EQ(inst.get(kA1), 10.0f);
    EXPECT_EQ(inst.get(kVolume), 50.0f);
    EXPECT_EQ(inst.get(kTrigger), 1.0f);
}

TEST(Parameters, ValueStrings) {
    Instrument inst;
    auto names = [&](AudioUnitParameterID id, CFArrayRef* out) {
        UInt32 size = sizeof *out;
        return AudioUnitGetProperty(inst.unit, kAudioUnitProperty_ParameterValueStrings, 0, id, out, &size);
    };
    CFArrayRef list = nullptr;
    ASSERT_EQ(names(kLFO1VModSrc, &list), noErr);
    ASSERT_EQ(CFArrayGetCount(list), 23);
    EXPECT_STREQ(CFStringGetUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(list, 22))), "-mm2");
    CFRelease(list);
    ASSERT_EQ(names(kFilterBType, &list), noErr);
    EXPECT_EQ(CFArrayGetCount(list), 18);
    EXPECT_STREQ(CFStringGetUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(list, 8))), "rude LP2");
    CFRelease(list);
    ASSERT_EQ(names(kOSC2Wave, &list), noErr);
    EXPECT_STREQ(CFStringGetUTF8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(list, 4))), "sync'd");
    CFRelease(list);
    for (AudioUnitParameterID id : {kRouting, kNoiseType, kQuality})
        EXPECT_EQ(names(id, &list), kAudioUnitErr_InvalidProperty) << id;
}

TEST(Parameters, InstrumentProperties) {
    Instrument inst;
    ComponentDescription editor{};
    UInt32 size = sizeof editor;
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, kAudioUnitProperty_GetUIComponentList, 0, 0, &editor, &size), noErr);
    EXPECT_EQ(editor.componentType, FourCC("auvw"));
    EXPECT_EQ(editor.componentSubType, FourCC("TvW1"));
    EXPECT_EQ(editor.componentManufacturer, FourCC("KqVt"));

    AUChannelInfo channels[4]{};
    size = sizeof channels;
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, kAudioUnitProperty_SupportedNumChannels, 0, 0, channels, &size), noErr);
    ASSERT_EQ(size, 2 * sizeof(AUChannelInfo));
    EXPECT_EQ(channels[0].outChannels, 1);
    EXPECT_EQ(channels[1].outChannels, 2);

    UInt32 internal[2] = {7, 7};
    size = sizeof internal;
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, 64000, 3, 9, internal, &size), noErr);
    EXPECT_EQ(internal[0], 0u);
    EXPECT_EQ(internal[1], 0u);
}

// The current settings' name as a property of its own: "default" at first, at
// most 47 bytes kept, and it is what the saved state carries.
TEST(Parameters, PresetNameProperty) {
    Instrument inst;
    char name[48] = {};
    UInt32 size = sizeof name;
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, 64001, kAudioUnitScope_Global, 0, name, &size), noErr);
    EXPECT_STREQ(name, "default");
    const std::string longer(60, 'x');
    EXPECT_EQ(AudioUnitSetProperty(inst.unit, 64001, kAudioUnitScope_Global, 0, longer.c_str(), 60),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(AudioUnitSetProperty(inst.unit, 64001, kAudioUnitScope_Global, 0, longer.c_str(), 48), noErr);
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, 64001, kAudioUnitScope_Global, 0, name, &size), noErr);
    EXPECT_EQ(std::string(name), std::string(47, 'x'));
    EXPECT_EQ(AudioUnitSetProperty(inst.unit, 64001, kAudioUnitScope_Global, 0, "my sound", 9), noErr);
    AUPreset preset{3, CFSTR("tarv's trash")};  // a factory preset names the settings too
    ASSERT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_CurrentPreset, 0, 0, &preset, sizeof preset), noErr);
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, 64001, kAudioUnitScope_Global, 0, name, &size), noErr);
    EXPECT_STREQ(name, "tarv's trash");
}

TEST(Parameters, NoteToPhaseIncThroughPitch) {
    // Key 69 sounds 110 Hz: the sine of "digiwave" with no depth crosses zero 110 times a second.
    Instrument inst;
    inst.set(kOSC1Wave, 2);
    inst.set(kOSC2Wave, 0);
    inst.set(kMixMode, 3);
    inst.fullAmplitudeEnvelope();
    inst.noteOn(69);
    auto s = inst.renderBlocks(44100 + 1024);
    int rising = 0;
    for (size_t i = 1024; i + 1 < s.size(); ++i)
        if (s[i] <= 0 && s[i + 1] > 0) ++rising;
    EXPECT_NEAR(rising, 110, 1);
}

TEST(Properties, ListenersHearRateFormatFramesAndPreset) {
    Instrument inst;
    static std::vector<AudioUnitPropertyID> heard;
    heard.clear();
    auto listener = [](void*, AudioUnit, AudioUnitPropertyID id, AudioUnitScope, AudioUnitElement) {
        heard.push_back(id);
    };
    for (AudioUnitPropertyID id :
         {kAudioUnitProperty_StreamFormat, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitProperty_CurrentPreset})
        ASSERT_EQ(AudioUnitAddPropertyListener(inst.unit, id, listener, nullptr), noErr);
    const Float64 rate = 48000;
    ASSERT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &rate, 8),
              noErr);
    ASSERT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, &rate, 8),
              noErr);  // unchanged: no second notification
    UInt32 frames = 512;
    ASSERT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &frames, 4), noErr);
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, kAudioUnitProperty_ClassInfo, 0, 0, &state, &size), noErr);
    ASSERT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_ClassInfo, 0, 0, &state, sizeof state), noErr);
    CFRelease(state);
    EXPECT_EQ(heard, (std::vector<AudioUnitPropertyID>{kAudioUnitProperty_StreamFormat,
                                                       kAudioUnitProperty_MaximumFramesPerSlice,
                                                       kAudioUnitProperty_CurrentPreset}));
}

TEST(Presets, SelectingAPresetMakesItCurrentAndPrintsIt) {
    static std::string log;
    log.clear();
    Instrument inst;
    SetPlatformLogHook([](const char* line) { log += line; });
    AUPreset preset{3, CFSTR("tarv's trash")};
    ASSERT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_CurrentPreset, 0, 0, &preset, sizeof preset), noErr);
    SetPlatformLogHook(PlatformLogSilent);
    EXPECT_EQ(log, "selecting preset: 3\n");
    AUPreset current{};
    UInt32 size = sizeof current;
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, kAudioUnitProperty_CurrentPreset, 0, 0, &current, &size), noErr);
    EXPECT_EQ(current.presetNumber, 3);
    EXPECT_STREQ(CFStringGetUTF8(current.presetName), "tarv's trash");
    AUPreset beyond{31, CFSTR("x")};
    EXPECT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_CurrentPreset, 0, 0, &beyond, sizeof beyond),
              kAudioUnitErr_InvalidPropertyValue);
}

TEST(Lifecycle, InstanceLinesCountInstances) {
    static std::string log;
    log.clear();
    SetPlatformLogHook([](const char* line) { log += line; });
    {
        Component comp = RegisterVelmora();
        AudioUnit a = nullptr, b = nullptr;
        OpenAComponent(comp, &a);
        OpenAComponent(comp, &b);
        CloseComponent(a);
        CloseComponent(b);
    }
    SetPlatformLogHook(PlatformLogSilent);
    EXPECT_EQ(log, "Tarvs running: 1\nTarvs running: 2\nTarvs running: 1\nTarvs running: 0\n");
}
