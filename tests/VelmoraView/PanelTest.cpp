// The instrument's panel, opened through the host-side calls on offscreen
// windows with the pictures of the built bundle.
#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../../assets/PanelLabels.h"
#include "Binding/VelmoraEntry.h"
#include "Binding/VelmoraViewEntry.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"
#include "PlatformUI/AudioUnitCarbonView.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "Velmora/VelmoraParameters.h"
#include "VelmoraView/VelmoraAUView.h"
#include "VelmoraView/VelmoraFormatters.h"

namespace {

std::string format(void (*formatter)(UInt32, char*, void*), UInt32 value) {
    char text[64];
    formatter(value, text, nullptr);
    return text;
}

// One open editor of the instrument in an offscreen window.
struct Editor {
    ComponentInstance component = nullptr;
    WindowRef window = nullptr;
    ControlRef pane = nullptr;
    VelmoraAUView* view = nullptr;

    explicit Editor(AudioUnit unit) {
        EXPECT_EQ(OpenAComponent(RegisterVelmoraView(VELMORA_BUNDLE), &component), noErr);
        CreateOffscreenWindow(900, 640, 1.0, &window);
        ControlRef root = nullptr;
        GetRootControl(window, &root);
        const Float32Point location{0, 0}, size{900, 640};
        EXPECT_EQ(AudioUnitCarbonViewCreate(component, unit, window, root, &location, &size, &pane), noErr);
        view = static_cast<VelmoraAUView*>(GetComponentInstanceStorage(component));
        UpdateWindow(window);
    }
    ~Editor() {
        CloseComponent(component);
        DisposeWindow(window);
    }
    // The bound controls of a parameter, in the order they were made.
    std::vector<ControlRef> controls(AudioUnitParameterID id) const {
        std::vector<ControlRef> found;
        for (AUCarbonViewControl* c : view->GetBoundControls())
            if (c->GetParameter().mParameterID == id) found.push_back(c->GetControl());
        return found;
    }
    // Presses a second apart: never a double-click.
    void click(int x, int y, UInt32 modifiers = 0, int dy = 0) {
        clock += 1.0;
        SendWindowMouse(window, WindowMouse::press, x, y, modifiers, clock);
        if (dy) SendWindowMouse(window, WindowMouse::motion, x, y + dy, 0, clock + 0.1);
        SendWindowMouse(window, WindowMouse::release, x, y + dy, 0, clock + 0.2);
        UpdateWindow(window);
    }
    EventTime clock = 0;
    std::vector<UInt32> pixels(int x, int y, int w, int h) const {
        std::vector<UInt32> out;
        for (int j = y; j < y + h; ++j)
            for (int i = x; i < x + w; ++i) out.push_back(GetWindowPixel(window, i, j));
        return out;
    }
};

class Panel : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlatformLogHook(PlatformLogSilent);
        ASSERT_EQ(OpenAComponent(RegisterVelmora(), &unit), noErr);
        ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    }
    void TearDown() override {
        CloseComponent(unit);
        SetPlatformLogHook(nullptr);
    }
    Float32 value(AudioUnitParameterID id) {
        Float32 v = -1;
        AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v);
        return v;
    }
    // A change made by the host, as automation or a preset makes it.
    void hostSets(AudioUnitParameterID id, Float32 v) {
        const AudioUnitParameter p{unit, id, kAudioUnitScope_Global, 0};
        AUParameterSet(nullptr, nullptr, &p, v, 0);
        settle();
    }
    void settle() { RunLoopRunFor(CFRunLoopGetCurrent(), 0.15); }

    AudioUnit unit = nullptr;
};

}  // namespace

TEST(Formatters, EveryTextAndTheDashesBeyond) {
    EXPECT_EQ(format(long2Trigger, 0), "legato");
    EXPECT_EQ(format(long2Trigger, 1), "retrig");
    EXPECT_EQ(format(long2Trigger, 2), "------");
    EXPECT_EQ(format(long2noise, 0), "off");
    EXPECT_EQ(format(long2noise, 1), "phshsh");
    EXPECT_EQ(format(long2noise, 2), "------");
    const char* shapers[] = {"off", "scramble", "engage", "degenerat", "wedge"};
    for (UInt32 v = 0; v < 5; ++v) EXPECT_EQ(format(long2Shaper, v), shapers[v]);
    EXPECT_EQ(format(long2Shaper, 5), "---------");
    const char* modes[] = {"2 + 1", "2 - 1", "2 x 1", "1", "2"};
    for (UInt32 v = 0; v < 5; ++v) EXPECT_EQ(format(long2linemode, v), modes[v]);
    EXPECT_EQ(format(long2linemode, 5), "------");
    EXPECT_EQ(format(long2linemode, 0xFFFFFFFF), "------");
}

// Every parameter has the controls its group gives it, and the background's
// labels sit beside the controls, never on them.
TEST_F(Panel, EveryParameterHasItsControlsAndNoLabelCoversOne) {
    Editor editor(unit);
    Rect pane;
    GetControlBounds(editor.pane, &pane);
    EXPECT_EQ(pane.right - pane.left, panel_art::kWidth);
    EXPECT_EQ(pane.bottom - pane.top, panel_art::kHeight);

    const std::set<int> none{51, 58, 78, 86, 99, 100, 101};
    const std::set<int> modMain{8, 11, 14, 18, 21, 24, 28, 29, 34, 35, 41, 45, 49, 56};
    const std::set<int> modSource{9, 12, 15, 19, 22, 25, 30, 32, 36, 38, 42, 46, 53, 60};
    const std::set<int> modDepth{10, 13, 16, 20, 23, 26, 31, 33, 37, 39, 43, 47, 54, 61};
    const std::set<int> stepped{1, 2, 3, 5, 6, 7, 17, 27, 40, 44, 48, 55, 77, 81, 83, 85, 89, 91, 93, 95, 96, 98};
    const std::set<int> leds{94, 97};
    for (int id = 0; id < int(kNumberOfParameters); ++id) {
        size_t expected = 1;  // a knob
        if (none.count(id))
            expected = 0;
        else if (modMain.count(id) || modDepth.count(id) || leds.count(id))
            expected = 2;
        else if (modSource.count(id) || stepped.count(id))
            expected = 3;
        EXPECT_EQ(editor.controls(AudioUnitParameterID(id)).size(), expected) << "parameter " << id;
    }

    for (AUCarbonViewControl* c : editor.view->GetBoundControls()) {
        Rect b;
        GetControlBounds(c->GetControl(), &b);
        EXPECT_LE(b.right, panel_art::kWidth);
        EXPECT_LE(b.bottom, panel_art::kHeight);
        for (const panel_art::Label& l : panel_art::kLabels) {
            const bool apart =
                l.box.x >= b.right || l.box.x + l.box.w <= b.left || l.box.y >= b.bottom || l.box.y + l.box.h <= b.top;
            EXPECT_TRUE(apart) << '"' << l.text << "\" covers a control of parameter "
                               << c->GetParameter().mParameterID;
        }
    }
}

TEST_F(Panel, RoutingShowsItsPictureStepsWrapsAndDrags) {
    Editor editor(unit);
    // The routing display shows routingK.png exactly.
    for (int k = 0; k <= 8; ++k) {
        hostSets(kRouting, Float32(k));
        UpdateWindow(editor.window);
        const std::string path =
            std::string(VELMORA_BUNDLE) + "/Contents/Resources/routing" + std::to_string(k) + ".png";
        cairo_surface_t* picture = cairo_image_surface_create_from_png(path.c_str());
        ASSERT_EQ(cairo_surface_status(picture), CAIRO_STATUS_SUCCESS);
        const auto* data = reinterpret_cast<const UInt32*>(cairo_image_surface_get_data(picture));
        const int stride = cairo_image_surface_get_stride(picture) / 4;
        int differing = 0;
        for (int y = 0; y < 46; ++y)
            for (int x = 0; x < 100; ++x)
                differing += GetWindowPixel(editor.window, 169 + x, 18 + y) != data[y * stride + x];
        EXPECT_EQ(differing, 0) << "routing " << k;
        cairo_surface_destroy(picture);
    }
    editor.click(160, 28);  // plus at 8
    EXPECT_EQ(value(kRouting), 0);
    settle();               // the minus button hears of it
    editor.click(142, 28);  // minus at 0
    EXPECT_EQ(value(kRouting), 8);
    settle();
    editor.click(219, 40, 0, -13);  // up by 13 pixels on the display
    EXPECT_EQ(value(kRouting), 0);
}

TEST_F(Panel, LedsKnobsAndDisplaysFollowEachOther) {
    Editor editor(unit);
    // The lower LED of "MultiA mode" stands for 1.
    editor.click(604, 569);
    settle();
    UpdateWindow(editor.window);
    EXPECT_EQ(value(kMultiAMode), 1);
    const UInt32 lit = GetWindowPixel(editor.window, 604, 569), unlit = GetWindowPixel(editor.window, 604, 558);
    EXPECT_NE(lit, unlit);
    EXPECT_GT((lit >> 8) & 0xFF, (unlit >> 8) & 0xFF);  // the lit one is the green one

    // A knob turned, then Command-clicked back to its default; its display follows both.
    std::vector<ControlRef> cutoff = editor.controls(kFilterAFc);  // knob, then its display
    ASSERT_EQ(cutoff.size(), 2u);
    const auto textOf = [&] { return editor.pixels(367, 144, 50, 14); };  // the cutoff display's text area
    const std::vector<UInt32> atDefault = textOf();
    editor.click(356, 162);  // the cutoff knob at three o'clock
    settle();
    UpdateWindow(editor.window);
    EXPECT_NE(value(kFilterAFc), 69);
    EXPECT_EQ(GetControl32BitValue(cutoff[1]), GetControl32BitValue(cutoff[0]));
    EXPECT_NE(textOf(), atDefault);
    editor.click(334, 162, cmdKey);
    settle();
    UpdateWindow(editor.window);
    EXPECT_EQ(value(kFilterAFc), 69);
    EXPECT_EQ(textOf(), atDefault);

    // A change made by the host reaches a knob, a display and the value names.
    const auto waveText = [&] { return editor.pixels(41, 109, 68, 12); };
    const std::vector<UInt32> before = waveText(), knobBefore = editor.pixels(22, 138, 48, 48);
    hostSets(kOSC1Wave, 3);
    hostSets(kOSC1Tune, 24);
    UpdateWindow(editor.window);
    EXPECT_NE(waveText(), before);
    EXPECT_NE(editor.pixels(22, 138, 48, 48), knobBefore);
}

TEST_F(Panel, TwoEditorsOfOneInstrumentBothWork) {
    Editor first(unit), second(unit);
    EXPECT_STRNE(first.view->getGui()->getClassID(), second.view->getGui()->getClassID());
    second.click(160, 28);  // plus on routing
    EXPECT_EQ(value(kRouting), 1);
    settle();
    EXPECT_EQ(GetControl32BitValue(first.controls(kRouting)[0]), 1);
    first.click(160, 28);
    EXPECT_EQ(value(kRouting), 2);
}
