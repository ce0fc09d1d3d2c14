// The instrument loaded from its bundle folder with the registry, as a host loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"
#include "Platform/RenderCall.h"
#include "PlatformUI/AudioUnitCarbonView.h"
#include "PlatformUI/Bundles.h"
#include "PlatformUI/Controls.h"
#include "PlatformUI/Windows.h"

TEST(Bundle, LoadsOpensAndPlays) {
    SetPlatformLogHook(PlatformLogSilent);
    std::string error;
    ASSERT_EQ(RegisterComponentBundle(VELMORA_BUNDLE, &error), 2) << error;
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
    float* const channels[2] = {left.data(), right.data()};
    RenderCall call;
    ASSERT_EQ(call.render(unit, 0, 1024, channels), noErr);
    EXPECT_GT(*std::max_element(left.begin(), left.end()), 0.01f);
    EXPECT_EQ(left, right);

    // The editor, from its own library in the same bundle, opens its pane for the unit.
    Component editor = FindNextComponent(nullptr, {FourCC("auvw"), FourCC("TvW1"), FourCC("KqVt"), 0, 0});
    ASSERT_NE(editor, nullptr);
    ComponentInstance view = nullptr;
    ASSERT_EQ(OpenAComponent(editor, &view), noErr);
    WindowRef window = nullptr;
    ASSERT_EQ(CreateOffscreenWindow(400, 300, 1.0, &window), noErr);
    ControlRef root = nullptr, pane = nullptr;
    GetRootControl(window, &root);
    const Float32Point where{0, 0}, size{400, 300};
    EXPECT_EQ(AudioUnitCarbonViewCreate(view, unit, window, root, &where, &size, &pane), noErr);
    EXPECT_NE(pane, nullptr);
    EXPECT_NE(CFBundleGetBundleWithIdentifier(CFSTR("org.velmora.instrument")), nullptr);
    EXPECT_EQ(CloseComponent(view), noErr);
    DisposeWindow(window);
    EXPECT_EQ(CloseComponent(unit), noErr);
}

// The instrument's library and the renderer stay free of the window system.
TEST(Bundle, AudioSideLinksNoWindowSystem) {
    for (const std::string& binary :
         {std::string(VELMORA_BUNDLE) + "/Contents/Linux/libvelmora.so", std::string(VELMORA_BINARY)}) {
        FILE* ldd = popen(("ldd '" + binary + "'").c_str(), "r");
        ASSERT_NE(ldd, nullptr);
        std::string libraries;
        char line[512];
        while (fgets(line, sizeof line, ldd)) libraries += line;
        EXPECT_EQ(pclose(ldd), 0) << binary;
        EXPECT_NE(libraries.find("libvelmora_platform.so"), std::string::npos) << libraries;
        EXPECT_EQ(libraries.find("libX11"), std::string::npos) << binary;
        EXPECT_EQ(libraries.find("libcairo"), std::string::npos) << binary;
    }
}
