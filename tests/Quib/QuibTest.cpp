// The panel toolkit on an offscreen window, with the instrument as the edited
// unit and pictures that the test draws: values from the mouse, pictures and
// text on pixels, the manager's classes, lookups and redraw filter.
#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <tuple>
#include <vector>

#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"
#include "Binding/VelmoraEntry.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "Quib/QuibButton.h"
#include "Quib/QuibDisplay.h"
#include "Quib/QuibKnob.h"
#include "Quib/QuibMoreImages.h"
#include "Quib/QuibPane.h"
#include "Velmora/VelmoraParameters.h"

namespace fs = std::filesystem;

namespace {

constexpr UInt32 kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF, kBlack = 0xFF000000,
                 kGrey = 0xFF404040;

void writePNG(const fs::path& path, int w, int h, const std::function<void(cairo_t*)>& paint) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    paint(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
}

void fill(cairo_t* cr, double r, double g, double b, int x, int y, int w, int h) {
    cairo_set_source_rgb(cr, r, g, b);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

// The pictures of a small bundle, made once per test program.
const fs::path& pictures() {
    static const fs::path bundle = [] {
        const fs::path root = fs::temp_directory_path() / ("velmora-quib-" + std::to_string(getpid()));
        const fs::path res = root / "Contents" / "Resources";
        fs::create_directories(res);
        writePNG(res / "strip.png", 20, 80, [](cairo_t* cr) {
            fill(cr, 1, 0, 0, 0, 0, 20, 20);
            fill(cr, 0, 1, 0, 0, 20, 20, 20);
            fill(cr, 0, 0, 1, 0, 40, 20, 20);
            fill(cr, 1, 1, 1, 0, 60, 20, 20);
        });
        // A face with its pointer at twelve o'clock on a transparent ground.
        writePNG(res / "face.png", 41, 41, [](cairo_t* cr) { fill(cr, 1, 1, 1, 18, 0, 5, 14); });
        writePNG(res / "back.png", 41, 41, [](cairo_t* cr) { fill(cr, 0, 0, 0, 0, 0, 41, 41); });
        writePNG(res / "led.png", 10, 20, [](cairo_t* cr) {
            fill(cr, 0.25, 0.25, 0.25, 0, 0, 10, 10);
            fill(cr, 0, 1, 0, 0, 10, 10, 10);
        });
        writePNG(res / "plus.png", 10, 10, [](cairo_t* cr) { fill(cr, 1, 1, 1, 0, 0, 10, 10); });
        writePNG(res / "red.png", 10, 10, [](cairo_t* cr) { fill(cr, 1, 0, 0, 0, 0, 10, 10); });
        writePNG(res / "green.png", 10, 10, [](cairo_t* cr) { fill(cr, 0, 1, 0, 0, 0, 10, 10); });
        return root;
    }();
    return bundle;
}

struct TestView : AUCarbonViewBase {
    TestView() : AUCarbonViewBase(nullptr) {}
};

// A control that tells what reaches it.
struct Recording : QuibCtrl {
    using QuibCtrl::QuibCtrl;
    std::vector<std::string> calls;
    int draws = 0;
    void record(const char* what, Point* p, bool option, bool shift) {
        calls.push_back(std::string(what) + " " + std::to_string(p->h) + "," + std::to_string(p->v) +
                        (option ? " option" : "") + (shift ? " shift" : ""));
    }
    void draw(CGContextRef, UInt32) override { ++draws; }
    void mouseDown(Point* p, bool o, bool s) override { record("down", p, o, s); }
    void mouseTrack(Point* p, bool o, bool s) override { record("track", p, o, s); }
    void mouseUp(Point* p, bool o, bool s) override { record("up", p, o, s); }
};

// An unbound control showing a picture for its value over 0...1000.
struct Shows : QuibCtrl {
    Shows(QuibMan* m, eRect* r, QuibGraphic* g) : QuibCtrl(m, r, 1000), graphic(g) {}
    QuibGraphic* graphic;
    void draw(CGContextRef c, UInt32 portHeight) override {
        graphic->draw(c, portHeight, &where, float(controlValue()) / 1000.0f);
    }
};

std::vector<std::string> gLog;
void keepLog(const char* line) { gLog.emplace_back(line); }

class Toolkit : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlatformLogHook(keepLog);
        gLog.clear();
        RegisterBundleLocation(kQuibBundleIdentifier, pictures().string());
        ASSERT_EQ(OpenAComponent(RegisterVelmora(), &unit), noErr);
        ASSERT_EQ(AudioUnitInitialize(unit), noErr);
        ASSERT_EQ(CreateOffscreenWindow(400, 300, 1.0, &window), noErr);
        ControlRef root = nullptr, pane = nullptr;
        GetRootControl(window, &root);
        view = std::make_unique<TestView>();
        ASSERT_EQ(view->CreateCarbonView(unit, window, root, {0, 0}, {400, 300}, pane), noErr);
        man = std::make_unique<QuibMan>(view.get(), 0, 0);
        man->initialize();
    }
    void TearDown() override {
        man.reset();
        view.reset();
        DisposeWindow(window);
        CloseComponent(unit);
        SetPlatformLogHook(nullptr);
    }
    AUVParameter parameter(AudioUnitParameterID id) { return AUVParameter(unit, id, kAudioUnitScope_Global, 0); }
    template <class G>
    G* image(std::unique_ptr<G> g) {
        return static_cast<G*>(man->addImage(std::move(g)));
    }
    template <class C>
    C* add(std::unique_ptr<C> c) {
        return static_cast<C*>(man->addCtrl(std::move(c)));
    }
    Float32 value(AudioUnitParameterID id) {
        Float32 v = -1;
        AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v);
        return v;
    }
    // Presses a second apart: never a double-click.
    void click(int x, int y, UInt32 modifiers = 0, int dx = 0, int dy = 0) {
        clock += 1.0;
        SendWindowMouse(window, WindowMouse::press, x, y, modifiers, clock);
        if (dx || dy) SendWindowMouse(window, WindowMouse::motion, x + dx, y + dy, 0, clock + 0.1);
        SendWindowMouse(window, WindowMouse::release, x + dx, y + dy, 0, clock + 0.2);
    }
    EventTime clock = 0;
    // Lets the listener service tell the other controls.
    void settle() { RunLoopRunFor(CFRunLoopGetCurrent(), 0.15); }
    UInt32 pixel(int x, int y) {
        UpdateWindow(window);
        return GetWindowPixel(window, x, y);
    }

    AudioUnit unit = nullptr;
    WindowRef window = nullptr;
    std::unique_ptr<TestView> view;
    std::unique_ptr<QuibMan> man;
};

}  // namespace

TEST(Rectangle, ConvertsToQuickDrawAndQuartz) {
    const eRect r(10, 20, 30, 40);
    Rect qd;
    r.to(&qd);
    EXPECT_EQ(qd.top, 20);
    EXPECT_EQ(qd.left, 10);
    EXPECT_EQ(qd.bottom, 60);
    EXPECT_EQ(qd.right, 40);
    CGRect cg;
    r.to(&cg, 600);
    EXPECT_EQ(cg.origin.x, 10);
    EXPECT_EQ(cg.origin.y, 540);
    EXPECT_EQ(cg.size.width, 30);
    EXPECT_EQ(cg.size.height, 40);
}

TEST_F(Toolkit, EachManagerOwnsAClassAndHearsOnlyItsControls) {
    // A manager at the address of one that is gone takes the next free number.
    alignas(QuibMan) unsigned char storage[sizeof(QuibMan)];
    auto* first = new (storage) QuibMan(view.get(), 0, 0);
    first->initialize();
    const std::string taken = first->getClassID();
    first->~QuibMan();
    auto* second = new (storage) QuibMan(view.get(), 0, 0);
    second->initialize();
    const unsigned long n = std::stoul(taken.substr(taken.find("tarv") + 4));
    EXPECT_EQ(std::string(second->getClassID()), "org.quib.tarv" + std::to_string(n + 1) + ".cntrl");

    eRect a(10, 10, 20, 20), b(50, 10, 20, 20);
    auto* mine = add(std::make_unique<Recording>(man.get(), &a, 10));
    auto* theirs = static_cast<Recording*>(second->addCtrl(std::make_unique<Recording>(second, &b, 10)));
    click(15, 15);
    click(55, 15);
    EXPECT_EQ(mine->calls, (std::vector<std::string>{"down 5,5", "up 5,5"}));
    EXPECT_EQ(theirs->calls, (std::vector<std::string>{"down 5,5", "up 5,5"}));
    EXPECT_EQ(man->getCtrlByControlRef(theirs->getCarbonControl()), nullptr);
    second->~QuibMan();
}

TEST_F(Toolkit, GesturesKeepThePressModifiersAndCommandClickRestoresTheDefault) {
    eRect r(100, 100, 40, 40);
    auto* rec = add(std::make_unique<Recording>(man.get(), &r, 10));
    // Released where pressed: one down and one up.
    click(110, 120, shiftKey);
    EXPECT_EQ(rec->calls, (std::vector<std::string>{"down 10,20 shift", "up 10,20 shift"}));
    rec->calls.clear();
    // Modifiers changed during the drag do not count; the drag may leave the control.
    SendWindowMouse(window, WindowMouse::press, 101, 101, optionKey, 100.0);
    EXPECT_TRUE(man->isRelaxed());
    SendWindowMouse(window, WindowMouse::motion, 90, 150, shiftKey, 100.1);
    SendWindowMouse(window, WindowMouse::release, 90, 150, 0, 100.2);
    EXPECT_FALSE(man->isRelaxed());
    EXPECT_EQ(rec->calls, (std::vector<std::string>{"down 1,1 option", "track -10,50 option", "up -10,50 option"}));

    // Command-click: a bound knob goes back to its default, a pane stays as it is.
    AUVParameter volume = parameter(kVolume);
    eRect k(200, 100, 41, 41), p(0, 250, 100, 50);
    auto* knob = add(std::make_unique<QuibKnob>(man.get(), volume, &k, kQuib_res_1, nullptr, nullptr));
    auto* pane = add(std::make_unique<QuibPane>(man.get(), &p, image(std::make_unique<QuibGraphic>("back.png"))));
    SetControl32BitValue(knob->getCarbonControl(), 90);
    EXPECT_EQ(value(kVolume), 90);
    click(210, 110, cmdKey);
    EXPECT_EQ(GetControl32BitValue(knob->getCarbonControl()), 50);
    EXPECT_EQ(value(kVolume), 50);
    click(0, 250, cmdKey);  // the pane's corner
    EXPECT_EQ(pane->getCarbonControl(), nullptr);
    EXPECT_EQ(value(kVolume), 50);
}

TEST_F(Toolkit, LookupsRangesAndTheRedrawFilter) {
    eRect parentRect(10, 10, 100, 100), childRect(5, 5, 20, 20), paneRect(0, 0, 50, 50);
    auto* parent = add(std::make_unique<Recording>(man.get(), &parentRect, 10));
    auto* child = static_cast<Recording*>(parent->addCtrl(std::make_unique<Recording>(man.get(), &childRect, 10)));
    EXPECT_EQ(child->getBounds()->x, 15);  // placed relative to its parent
    EXPECT_EQ(man->getCtrlByID(parent->getID()), parent);
    EXPECT_EQ(man->getCtrlByID(child->getID()), nullptr);
    EXPECT_EQ(man->getCtrlByControlRef(child->getCarbonControl()), child);
    EXPECT_EQ(man->requestID(), child->getID() + 1);

    auto* valueless = add(std::make_unique<Recording>(man.get(), &paneRect));
    EXPECT_EQ(GetControl32BitMaximum(valueless->getCarbonControl()), 0);
    auto* bare = add(std::make_unique<QuibPane>(man.get(), &paneRect, nullptr));
    EXPECT_FALSE(bare->getOpaque());  // no picture: clipping falls through to the children

    UpdateWindow(window);
    const int drawn = parent->draws;
    man->setRelaxed(true);
    InvalidateControl(parent->getCarbonControl());
    UpdateWindow(window);
    EXPECT_EQ(parent->draws, drawn);  // relaxed and unchanged: not drawn
    SetControl32BitValue(parent->getCarbonControl(), 1);
    UpdateWindow(window);
    EXPECT_EQ(parent->draws, drawn + 1);
    man->setRelaxed(false);
    InvalidateControl(parent->getCarbonControl());
    UpdateWindow(window);
    EXPECT_EQ(parent->draws, drawn + 2);
    man->idle();
    EXPECT_FALSE(man->isRelaxed());
}

TEST_F(Toolkit, StripFramesAndSpinImagesOnPixels) {
    QuibGraphic* strip = image(std::make_unique<QuibGraphic>("strip.png", 4));
    EXPECT_EQ(strip->getHeight(), 20);
    eRect r(10, 10, 20, 20);
    auto* shows = add(std::make_unique<Shows>(man.get(), &r, strip));
    const std::pair<int, UInt32> expected[] = {{0, kRed}, {333, kRed}, {334, kGreen}, {999, kBlue}, {1000, kWhite}};
    for (auto [v, colour] : expected) {
        SetControl32BitValue(shows->getCarbonControl(), v);
        EXPECT_EQ(pixel(20, 20), colour) << v;
        EXPECT_NE(pixel(20, 35), kGreen) << "the strip stays inside its rectangle";
    }
    QuibGraphic* still = image(std::make_unique<QuibGraphic>("strip.png", 0));
    EXPECT_FALSE(still->isAnim());

    // The knob's face: seven-thirty at 0, twelve at the middle, four-thirty at 1.
    AUVParameter volume = parameter(kVolume);
    QuibGraphic* back = image(std::make_unique<QuibGraphic>("back.png"));
    QuibGraphic* face = image(std::make_unique<QuibSpinImage>("face.png", -0.375f, 0.375f, 0, 0, false));
    eRect unsized(300, 100, 0, 0);
    auto* sized = add(std::make_unique<QuibKnob>(man.get(), volume, &unsized, kQuib_res_1, face, back));
    EXPECT_EQ(sized->getBounds()->w, 41);  // from the background, and the given rectangle too
    EXPECT_EQ(unsized.h, 41);
    eRect k(100, 100, 41, 41);
    auto* knob = add(std::make_unique<QuibKnob>(man.get(), volume, &k, kQuib_res_1, face, back));
    const int cx = 120, cy = 120;
    const struct { int value, dx, dy; } pointer[] = {{0, -8, 8}, {50, 0, -12}, {100, 8, 8}};
    for (auto [v, dx, dy] : pointer) {
        SetControl32BitValue(knob->getCarbonControl(), v);
        EXPECT_EQ(pixel(cx + dx, cy + dy), kWhite) << v;
        EXPECT_EQ(pixel(cx - dx, cy - dy), kBlack) << v;
    }

    // Carried around a pivot with its orientation fixed, the picture stays upright;
    // about its own centre it does not move at all.
    eRect s(200, 100, 41, 41);
    QuibSpinImage carried("face.png", -0.375f, 0.375f, 0, 0, true);
    auto* still2 = add(std::make_unique<Shows>(man.get(), &s, &carried));
    for (int v : {0, 500, 1000}) {
        SetControl32BitValue(still2->getCarbonControl(), v);
        EXPECT_EQ(pixel(220, 104), kWhite) << v;
    }
}

TEST_F(Toolkit, KnobFollowsAngleAndOptionDrags) {
    AUVParameter volume = parameter(kVolume);
    eRect r(100, 100, 41, 41);
    auto* knob = add(std::make_unique<QuibKnob>(man.get(), volume, &r, kQuib_res_1, nullptr, nullptr));
    ControlRef c = knob->getCarbonControl();
    Point threeOClock{20, 40};
    EXPECT_NEAR(knob->getValueFromPoint(&threeOClock), 5.0 / 6.0, 1e-6);
    click(140, 120);  // three o'clock
    EXPECT_EQ(GetControl32BitValue(c), 83);
    EXPECT_EQ(value(kVolume), 83);
    click(120, 140);  // straight below the pivot
    EXPECT_EQ(GetControl32BitValue(c), 0);
    click(121, 140);  // a little to its right
    EXPECT_EQ(GetControl32BitValue(c), 100);
    click(119, 140);  // a little to its left
    EXPECT_EQ(GetControl32BitValue(c), 0);

    AUVParameter cutoff = parameter(kFilterAFc);
    eRect f(200, 100, 41, 41);
    auto* fine = add(std::make_unique<QuibKnob>(man.get(), cutoff, &f, kQuib_res_100, nullptr, nullptr));
    ControlRef fc = fine->getCarbonControl();
    SetControl32BitValue(fc, 6900);
    click(210, 110, optionKey);
    EXPECT_EQ(GetControl32BitValue(fc), 6900);  // no movement, no change
    click(210, 110, optionKey, 10, 0);
    EXPECT_EQ(GetControl32BitValue(fc), 7400);  // five parameter units
    click(210, 110, optionKey | shiftKey, 10, 0);
    EXPECT_EQ(GetControl32BitValue(fc), 7405);  // five steps

    // The wheel: a parameter unit per notch, a step with Shift.
    SendWindowWheel(window, 210, 110, 2, 0);
    EXPECT_EQ(GetControl32BitValue(fc), 7605);
    SendWindowWheel(window, 210, 110, -3, shiftKey);
    EXPECT_EQ(GetControl32BitValue(fc), 7602);
}

TEST_F(Toolkit, DisplaysStepWrapAndShowTheirValue) {
    QuibGraphic* back = image(std::make_unique<QuibGraphic>("back.png"));
    AUVParameter routing = parameter(kRouting);
    eRect r(10, 10, 100, 20);
    auto* list = add(std::make_unique<QuibDisplay>(man.get(), routing, &r, kQuib_res_1, nullptr, nullptr, back));
    ControlRef lc = list->getCarbonControl();
    SetControl32BitValue(lc, 8);
    click(20, 20, 0, 0, -12);
    EXPECT_EQ(GetControl32BitValue(lc), 8);  // 12 pixels are not enough
    click(20, 20, 0, 0, -13);
    EXPECT_EQ(GetControl32BitValue(lc), 0);  // up past the maximum wraps
    click(20, 20, 0, 0, 13);
    EXPECT_EQ(GetControl32BitValue(lc), 8);
    EXPECT_EQ(value(kRouting), 8);

    AUVParameter volume = parameter(kVolume);
    eRect v(10, 50, 100, 20);
    auto* fine = add(std::make_unique<QuibDisplay>(man.get(), volume, &v, kQuib_res_10, nullptr, nullptr, back));
    ControlRef fc = fine->getCarbonControl();
    SetControl32BitValue(fc, 500);
    click(20, 60, 0, 0, -9);  // left half: whole units
    EXPECT_EQ(GetControl32BitValue(fc), 520);
    click(100, 60, 0, 0, -9);  // right half: steps
    EXPECT_EQ(GetControl32BitValue(fc), 522);

    // Value k shows the k-th picture registered after the first; past the end only the background.
    AUVParameter wave = parameter(kOSC1Wave);
    QuibGraphic* first = image(std::make_unique<QuibGraphic>("red.png"));
    image(std::make_unique<QuibGraphic>("green.png"));
    eRect p(200, 10, 20, 20);
    auto* pictured = add(std::make_unique<QuibDisplay>(man.get(), wave, &p, kQuib_res_1, first, back));
    pictured->setForeBounds(205, 15, 10, 10);
    SetControl32BitValue(pictured->getCarbonControl(), 1);
    EXPECT_EQ(pixel(210, 20), kGreen);
    gLog.clear();
    SetControl32BitValue(pictured->getCarbonControl(), 3);
    EXPECT_EQ(pixel(210, 20), kBlack);
    EXPECT_EQ(gLog, (std::vector<std::string>{"Shiiet, no Image there!\n"}));

    // The parameter's own value names.
    char text[64];
    wave.SetValue(nullptr, nullptr, 2);
    fine->makeText(0, text);
    EXPECT_STREQ(text, "52.20");
    auto* named = add(std::make_unique<QuibDisplay>(man.get(), wave, &p, kQuib_res_1, nullptr, nullptr, back));
    named->makeText(2, text);
    CFStringRef name = wave.GetParamName(2);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(text, CFStringGetUTF8(name));
}

namespace {

void eightChars(UInt32, char* text, void*) { std::strcpy(text, "88888888"); }

// The first and last columns of a row where anything but black was drawn.
std::pair<int, int> inkColumns(WindowRef w, int x0, int x1, int y0, int y1) {
    int first = -1, last = -1;
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y)
            if (GetWindowPixel(w, x, y) != kBlack) {
                if (first < 0) first = x;
                last = x;
            }
    return {first, last};
}

}  // namespace

TEST_F(Toolkit, TextIsCentredOrLeftAlignedInItsArea) {
    QuibGraphic* back = image(std::make_unique<QuibGraphic>("back.png"));
    AUVParameter volume = parameter(kVolume);
    eRect r(10, 10, 200, 20);
    auto* display = add(std::make_unique<QuibDisplay>(man.get(), volume, &r, kQuib_res_1, eightChars, nullptr, back));
    UpdateWindow(window);
    auto [first, last] = inkColumns(window, 10, 210, 10, 30);
    ASSERT_GT(last, first);
    EXPECT_NEAR((first + last) / 2.0, 110.0, 3.0);
    display->setTextAlign(0);
    InvalidateControl(display->getCarbonControl());
    UpdateWindow(window);
    std::tie(first, last) = inkColumns(window, 10, 210, 10, 30);
    EXPECT_LE(first, 12);
}

TEST_F(Toolkit, ButtonsStepWrapRadioAndPush) {
    QuibGraphic* plus = image(std::make_unique<QuibGraphic>("plus.png"));
    QuibGraphic* led = image(std::make_unique<QuibGraphic>("led.png", 2));
    AUVParameter routing = parameter(kRouting);
    eRect up(10, 10, 10, 10), down(30, 10, 10, 10);
    auto* inc = add(std::make_unique<QuibButton>(man.get(), routing, &up, plus, nullptr, kIncButton));
    add(std::make_unique<QuibButton>(man.get(), routing, &down, plus, nullptr, kDecButton));
    SetControl32BitValue(inc->getCarbonControl(), 8);
    click(15, 15);
    EXPECT_EQ(value(kRouting), 0);
    click(35, 15);
    EXPECT_EQ(value(kRouting), 8);
    EXPECT_NE(pixel(15, 15), kWhite);  // the released step button is dimmed again

    AUVParameter trigger = parameter(kTrigger);
    eRect a(10, 50, 10, 10), b(30, 50, 10, 10);
    auto* ledA = add(std::make_unique<QuibButton>(man.get(), trigger, &a, led, nullptr, kRadioButton));
    auto* ledB = add(std::make_unique<QuibButton>(man.get(), trigger, &b, led, nullptr, kRadioButton));
    ledA->setOnValue(0);
    ledB->setOnValue(1);
    click(35, 55);
    settle();
    EXPECT_EQ(value(kTrigger), 1);
    EXPECT_EQ(pixel(35, 55), kGreen);
    EXPECT_EQ(pixel(15, 55), kGrey);
    click(15, 55);
    settle();
    EXPECT_EQ(value(kTrigger), 0);
    EXPECT_EQ(pixel(15, 55), kGreen);
    EXPECT_EQ(pixel(35, 55), kGrey);

    // A push button with on-value 0: lit at rest, frame 0 while pressed.
    eRect p(10, 80, 10, 10);
    add(std::make_unique<QuibButton>(man.get(), trigger, &p, led, nullptr, kPushButton));
    EXPECT_EQ(pixel(15, 85), kGreen);
    SendWindowMouse(window, WindowMouse::press, 15, 85, 0, 200.0);
    EXPECT_EQ(value(kTrigger), 1);
    EXPECT_EQ(pixel(15, 85), kGrey);
    SendWindowMouse(window, WindowMouse::release, 15, 85, 0, 200.1);
    EXPECT_EQ(value(kTrigger), 0);
    EXPECT_EQ(pixel(15, 85), kGreen);
}
