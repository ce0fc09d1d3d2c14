// The instrument loaded from its bundle folder with the registry, as a host loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"

TEST(Bundle, LoadsOpensAndPlays) {
    SetPlatformLogHook(PlatformLogSilent);
    std::string error;
    ASSERT_EQ(RegisterComponentBundle(VELMORA_BUNDLE, &error), 1) << error;
    std::string missing;
    EXPECT_EQ(RegisterComponentBundle("/nonexistent/Velmora.component", &missing), -1);
    EXPECT_FALSE(missing.empty());

    const ComponentDescription desc{FourCC("aumu"), FourCC("TvS1"), FourCC("KqVt"), 0, 0};
    Component comp = FindNextComponent(nullptr, desc);
    ASSERT_NE(comp, nullptr);
    std::string name;
    GetComponentInfo(comp, nullptr, &name);
    EXPECT_EQ(name, "Velmora");

    AudioUnit unit = nullptr;
    ASSERT_EQ(OpenAComponent(comp, &unit), noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    ASSERT_EQ(MusicDeviceMIDIEvent(unit, 0x90, 60, 100, 0), noErr);
    std::vector<float> left(1024), right(1024);
    struct {
        UInt32 n;
        AudioBuffer b[2];
    } list{2, {{1, 4096, left.data()}, {1, 4096, right.data()}}};
    AudioTimeStamp ts{};
    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(AudioUnitRender(unit, &flags, &ts, 0, 1024, reinterpret_cast<AudioBufferList*>(&list)), noErr);
    EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.01f);
    EXPECT_EQ(left, right);
    EXPECT_EQ(CloseComponent(unit), noErr);
}
