// The factory presets: every one plays a phrase audibly without clipping, the
// table stays inside the parameter ranges, and the host sees the list.
#include <cmath>
#include <string>

#include "../support/InstrumentFixture.h"
#include "Velmora/VelmoraParameters.h"
#include "Velmora/VelmoraPresets.h"

namespace {
OSStatus selectPreset(Instrument& inst, SInt32 number) {
    AUPreset preset{number, CFSTR("factory")};
    return AudioUnitSetProperty(inst.unit, kAudioUnitProperty_CurrentPreset, 0, 0, &preset, sizeof preset);
}

// Four short notes across the keyboard at velocity 100, then a held one for the
// slow attacks, then the release: about 2.4 s at 44.1 kHz.
std::vector<float> playPhrase(Instrument& inst) {
    std::vector<float> out;
    auto play = [&](UInt8 key, UInt32 heldFrames) {
        inst.noteOn(key, 100);
        auto held = inst.renderBlocks(heldFrames, 512);
        inst.noteOff(key);
        auto gap = inst.renderBlocks(2048, 512);
        out.insert(out.end(), held.begin(), held.end());
        out.insert(out.end(), gap.begin(), gap.end());
    };
    for (UInt8 key : {48, 55, 64, 72}) play(key, 11264);
    play(60, 44032);
    auto tail = inst.renderBlocks(8192, 512);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}
}  // namespace

class FactoryPreset : public ::testing::TestWithParam<int> {};

TEST_P(FactoryPreset, PhraseAtVelocity100IsAudibleFiniteAndUnclipped) {
    Instrument inst;
    ASSERT_EQ(selectPreset(inst, GetParam()), noErr);
    const auto out = playPhrase(inst);
    float peak = 0;
    size_t bad = 0;
    for (float s : out) {
        if (!std::isfinite(s))
            ++bad;
        else
            peak = std::max(peak, std::fabs(s));
    }
    EXPECT_EQ(bad, 0u);
    EXPECT_LE(peak, 1.0f);
    EXPECT_GT(peak, 0.01f);  // -40 dBFS
}

INSTANTIATE_TEST_SUITE_P(All, FactoryPreset, ::testing::Range(0, kNumFactoryPresets),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "preset" + std::to_string(info.param);
                         });

TEST(FactoryPresets, ValuesLieInRangeAndIndexedOnesAreWhole) {
    Instrument inst;
    for (UInt32 id = 0; id < kNumberOfParameters; ++id) {
        AudioUnitParameterInfo info{};
        UInt32 size = sizeof info;
        ASSERT_EQ(AudioUnitGetProperty(inst.unit, kAudioUnitProperty_ParameterInfo, 0, id, &info, &size), noErr);
        for (int n = 0; n < kNumFactoryPresets; ++n) {
            const float v = asEZ_preset[n].values[id];
            EXPECT_GE(v, info.minValue) << asEZ_preset[n].name << " " << info.name;
            EXPECT_LE(v, info.maxValue) << asEZ_preset[n].name << " " << info.name;
            if (info.unit == kAudioUnitParameterUnit_Indexed) {
                EXPECT_EQ(v, std::floor(v)) << asEZ_preset[n].name << " " << info.name;
            }
        }
    }
}

TEST(FactoryPresets, HostSeesThirtyOneStartingWithInit) {
    Instrument inst;
    AUPreset init{0, CFSTR("init")};
    ASSERT_EQ(AudioUnitSetProperty(inst.unit, kAudioUnitProperty_CurrentPreset, 0, 0, &init, sizeof init), noErr);
    EXPECT_EQ(inst.get(kA1), 5.0f);

    CFArrayRef list = nullptr;
    UInt32 size = sizeof list;
    ASSERT_EQ(AudioUnitGetProperty(inst.unit, kAudioUnitProperty_FactoryPresets, 0, 0, &list, &size), noErr);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(CFArrayGetCount(list), 31);
    for (CFIndex i = 0; i < 31; ++i)
        EXPECT_EQ(static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, i))->presetNumber, i);
    EXPECT_STREQ(CFStringGetUTF8(static_cast<const AUPreset*>(CFArrayGetValueAtIndex(list, 0))->presetName), "init");
    CFRelease(list);
}
