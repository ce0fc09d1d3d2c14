// `velmora edit` as a person uses it, on a virtual X server: the window has
// the panel's size, a knob dragged with the pointer and a button clicked
// change the sound, Ctrl+S and closing the window save it.
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest's names would meet.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <cairo.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <tuple>

#include "../support/WindowManager.h"
#include "Binding/VelmoraEntry.h"
#include "Host/HostedInstrument.h"
#include "Platform/Log.h"
#include "StateFile.h"
#include "Velmora/VelmoraParameters.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

template <class F>
bool waitFor(F condition, std::chrono::milliseconds limit = 10s) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

struct Pointer {
    Display* d;
    int originX, originY;
    void move(int x, int y) {
        XTestFakeMotionEvent(d, -1, originX + x, originY + y, 0);
        XFlush(d);
        std::this_thread::sleep_for(30ms);
    }
    void button(bool down) {
        XTestFakeButtonEvent(d, 1, down, 0);
        XFlush(d);
        std::this_thread::sleep_for(30ms);
    }
};

unsigned long pixelSum(Display* d, Window w, int x, int y, int width, int height) {
    XImage* image = XGetImage(d, w, x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    unsigned long sum = 0;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) sum = sum * 31 + XGetPixel(image, i, j);
    XDestroyImage(image);
    return sum;
}

}  // namespace

TEST(EditWindow, ATurnedKnobAndAClickedButtonAreSaved) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    const fs::path dir = fs::temp_directory_path() / ("velmora-edit-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string saved = (dir / "sound.aupreset").string();

    const pid_t child = fork();
    if (child == 0) {
        unsetenv("VELMORA_UI_SCALE");
        execl(VELMORA_BINARY, VELMORA_BINARY, "edit", "--save", saved.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    Window w = 0;
    ASSERT_TRUE(waitFor([&] { return (w = findWindowNamed(d, "Velmora")) != 0; }));
    XWindowAttributes attributes{};
    ASSERT_TRUE(waitFor([&] {
        XGetWindowAttributes(d, w, &attributes);
        return attributes.map_state == IsViewable && attributes.width == 850;
    }));
    EXPECT_EQ(attributes.height, 590);  // the background's size
    std::this_thread::sleep_for(300ms);

    Pointer p{d, 0, 0};
    Window unused;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &p.originX, &p.originY, &unused);
    // Volume: from its pointer at twelve round to three o'clock.
    p.move(47, 20);
    p.button(true);
    p.move(60, 25);
    p.move(70, 38);
    p.button(false);
    // Routing: the display's picture changes with the plus button.
    const unsigned long routingBefore = pixelSum(d, w, 169, 18, 100, 46);
    p.move(160, 28);
    p.button(true);
    p.button(false);
    EXPECT_TRUE(waitFor([&] { return pixelSum(d, w, 169, 18, 100, 46) != routingBefore; }, 2s));

    // Ctrl+S saves; closing the window saves again and ends the program.
    const KeyCode control = XKeysymToKeycode(d, XK_Control_L), s = XKeysymToKeycode(d, XK_s);
    XTestFakeKeyEvent(d, control, True, 0);
    XTestFakeKeyEvent(d, s, True, 0);
    XTestFakeKeyEvent(d, s, False, 0);
    XTestFakeKeyEvent(d, control, False, 0);
    XFlush(d);
    EXPECT_TRUE(waitFor([&] { return fs::exists(saved); }));

    sendCloseRequest(d, w);
    int status = -1;
    const bool ended = waitFor([&] { return waitpid(child, &status, WNOHANG) == child; });
    if (!ended) kill(child, SIGKILL), waitpid(child, &status, 0);
    EXPECT_TRUE(ended);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    XCloseDisplay(d);

    SetPlatformLogHook(PlatformLogSilent);
    RegisterVelmora();
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(44100, 2, 64);
    loadStateFile(instrument, saved);
    EXPECT_EQ(instrument.getParameter(kVolume), 83);  // 100 x (5/6), in whole units
    EXPECT_EQ(instrument.getParameter(kRouting), 1);
    fs::remove_all(dir);
}

namespace {

// A `velmora edit [--save FILE] ARGS...` on the display with its own
// XDG_DATA_HOME, its window (found by its process, once it has `width`), what
// it says on standard error, and the values it saves on Ctrl+S.
struct EditProcess {
    fs::path dir = fs::temp_directory_path() / ("velmora-knobs-" + std::to_string(getpid()));
    std::string saved = (dir / "sound.aupreset").string();
    std::string errors = (dir / "stderr.txt").string();
    fs::path sounds = dir / "data" / "velmora" / "sounds";
    pid_t child = -1;
    Display* d = XOpenDisplay(nullptr);
    Window w = 0;
    Pointer p{d, 0, 0};

    explicit EditProcess(std::vector<std::string> args, int width = 850, bool save = true) {
        fs::create_directories(dir);
        if (save) args.insert(args.begin(), {"--save", saved});
        args.insert(args.begin(), {VELMORA_BINARY, "edit"});
        const std::string data = (dir / "data").string();
        child = fork();
        if (child == 0) {
            unsetenv("VELMORA_UI_SCALE");
            unsetenv("VELMORA_KNOB_MODE");
            setenv("XDG_DATA_HOME", data.c_str(), 1);
            if (!freopen(errors.c_str(), "w", stderr)) _exit(126);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(VELMORA_BINARY, argv.data());
            _exit(127);
        }
        if (!d || !waitFor([&] { return (w = findWindowOfProcess(d, child)) != 0; })) return;
        const bool sized = waitFor([&] {
            XWindowAttributes a{};
            XGetWindowAttributes(d, w, &a);
            return a.map_state == IsViewable && a.width == width;
        });
        if (!sized) w = 0;
        std::this_thread::sleep_for(300ms);
        Window unused;
        XTranslateCoordinates(d, w, DefaultRootWindow(d), 0, 0, &p.originX, &p.originY, &unused);
    }
    ~EditProcess() {
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        if (d) XCloseDisplay(d);
        fs::remove_all(dir);
    }
    std::string said() const {
        std::ifstream in(errors);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    bool ready() const { return w != 0; }
    std::string title() const { return windowName(d, w); }
    // The process's exit status once it ends by itself; -1 when it does not.
    int ended() {
        int status = -1;
        if (!waitFor([&] { return waitpid(child, &status, WNOHANG) == child; })) return -1;
        child = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::vector<fs::path> soundFiles() const {
        std::vector<fs::path> files;
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(sounds, ec)) files.push_back(entry.path());
        return files;
    }
    void key(KeySym sym, bool down) {
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, sym), down, 0);
        XFlush(d);
    }
    // Ctrl+S, then the saved value of one parameter.
    Float32 value(AudioUnitParameterID id) {
        fs::remove(saved);
        key(XK_Control_L, true);
        key(XK_s, true);
        key(XK_s, false);
        key(XK_Control_L, false);
        if (!waitFor([&] { return fs::exists(saved); })) return -1;
        HostedInstrument instrument(kVelmoraDescription);
        instrument.configure(44100, 2, 64);
        loadStateFile(instrument, saved);
        return instrument.getParameter(id);
    }
    void drag(int x, int y, int dx, int dy) {
        p.move(x, y);
        p.button(true);
        for (int i = 1; i <= 4; ++i) p.move(x + dx * i / 4, y + dy * i / 4);
        p.button(false);
    }
};

}  // namespace

// Volume's knob spans (23, 14) to (71, 62); the readout goes right of it.
TEST(EditWindow, KnobsTurnUpAndDownWithoutJumpingAndShowTheirValue) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    SetPlatformLogHook(PlatformLogSilent);
    RegisterVelmora();
    {
        EditProcess edit({});
        ASSERT_TRUE(edit.ready());
        const auto readout = [&] { return pixelSum(edit.d, edit.w, 76, 22, 40, 32); };
        const unsigned long plain = readout();

        // Alt-drag 40 px straight up: 20 units up from the default 50. The value shows while the button is held.
        edit.key(XK_Alt_L, true);
        edit.p.move(47, 50);
        edit.p.button(true);
        edit.p.move(47, 30);
        edit.p.move(47, 10);
        EXPECT_TRUE(waitFor([&] { return readout() != plain; }, 2s));
        edit.p.button(false);
        edit.key(XK_Alt_L, false);
        edit.p.move(120, 80);  // off every control: gone a second later
        EXPECT_TRUE(waitFor([&] { return readout() == plain; }, 1500ms));
        EXPECT_EQ(edit.value(kVolume), 70);

        // A double-click (X time stamps, well within 400 ms) sets the default, whatever the first click did.
        edit.p.move(47, 38);
        for (int i = 0; i < 2; ++i) edit.p.button(true), edit.p.button(false);
        EXPECT_EQ(edit.value(kVolume), 50);
    }
    {
        EditProcess edit({"--knob-mode", "linear"});
        ASSERT_TRUE(edit.ready());
        // A click on the knob's lower-left edge, where the angle would say 0, changes nothing.
        edit.p.move(30, 58);
        edit.p.button(true);
        edit.p.button(false);
        std::this_thread::sleep_for(500ms);  // not a double-click with what follows
        EXPECT_EQ(edit.value(kVolume), 50);
        edit.drag(30, 58, 0, -40);
        EXPECT_EQ(edit.value(kVolume), 70);
    }
}

// Without --scale the panel takes its scale from the display's Xft.dpi and steps
// down until the window fits the screen (1280 x 1024 here).
TEST(EditWindow, TheScaleFollowsXftDpiAndFitsTheScreen) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const auto setDpi = [d](const char* resources) {
        XChangeProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(resources), int(std::strlen(resources)));
        XSync(d, False);
    };
    setDpi("Xft.dpi:\t144\n");
    {
        EditProcess edit({}, 1275);
        EXPECT_TRUE(edit.ready()) << "no 1275-pixel window at Xft.dpi 144";
        EXPECT_EQ(edit.said(), "");
    }
    setDpi("Xft.dpi:\t192\n");  // asks for 2: 1700 pixels do not fit, 1.5 does
    {
        EditProcess edit({}, 1275);
        EXPECT_TRUE(edit.ready()) << "no 1275-pixel window at Xft.dpi 192";
        EXPECT_NE(edit.said().find("drawing it at 1.5"), std::string::npos) << edit.said();
    }
    XDeleteProperty(d, DefaultRootWindow(d), XA_RESOURCE_MANAGER);
    XCloseDisplay(d);
}

namespace {

// The sum of squared steps between neighbouring pixels' green values in a
// box (scale-1 coordinates) of a picture drawn at `scale`: high where edges are sharp.
double edgeEnergy(cairo_surface_t* picture, double scale, int x, int y, int w, int h) {
    const auto* data = cairo_image_surface_get_data(picture);
    const int stride = cairo_image_surface_get_stride(picture);
    const auto green = [&](int i, int j) { return double(data[j * stride + i * 4 + 1]); };
    double sum = 0;
    for (int j = int(y * scale); j < int((y + h) * scale); ++j)
        for (int i = int(x * scale); i < int((x + w) * scale); ++i)
            sum += std::pow(green(i + 1, j) - green(i, j), 2) + std::pow(green(i, j + 1) - green(i, j), 2);
    return sum / (scale * scale);
}

cairo_surface_t* screenshot(const std::string& path, const char* scale) {
    const std::string command =
        std::string(VELMORA_BINARY) + " edit --scale " + scale + " --screenshot " + path + " 2>/dev/null";
    if (std::system(command.c_str()) != 0) return nullptr;
    return cairo_image_surface_create_from_png(path.c_str());
}

}  // namespace

// At 1.5 and 2 the panel is drawn from pictures made for the scale, at its
// size: a label is sharper than the scale-1 panel enlarged.
TEST(EditWindow, ScaledPanelsAreDrawnSharpAtTheirSize) {
    const fs::path dir = fs::temp_directory_path() / ("velmora-scales-" + std::to_string(getpid()));
    fs::create_directories(dir);
    cairo_surface_t* small = screenshot((dir / "1.png").string(), "1");
    ASSERT_NE(small, nullptr);
    for (const auto& [text, scale, width, height] : {std::tuple{"1.5", 1.5, 1275, 885}, {"2", 2.0, 1700, 1180}}) {
        cairo_surface_t* big = screenshot((dir / (std::string(text) + ".png")).string(), text);
        ASSERT_EQ(cairo_surface_status(big), CAIRO_STATUS_SUCCESS) << text;
        EXPECT_EQ(cairo_image_surface_get_width(big), width);
        EXPECT_EQ(cairo_image_surface_get_height(big), height);
        cairo_surface_t* enlarged = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* cr = cairo_create(enlarged);
        cairo_scale(cr, scale, scale);
        cairo_set_source_surface(cr, small, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(enlarged);
        // "OSCILLATOR 1", and the text of the first wave display.
        for (const auto& [x, y, w, h] : {std::tuple{20, 91, 110, 12}, {41, 108, 68, 14}}) {
            const double sharp = edgeEnergy(big, scale, x, y, w, h), blurred = edgeEnergy(enlarged, scale, x, y, w, h);
            EXPECT_GT(sharp, 1.25 * blurred) << "at scale " << text << ", box at " << x << "," << y;
        }
        cairo_surface_destroy(enlarged);
        cairo_surface_destroy(big);
    }
    cairo_surface_destroy(small);
    fs::remove_all(dir);
}

namespace {

// The values of a factory preset with Volume at 83 (a click at three o'clock).
std::vector<float> presetWithVolume83(SInt32 preset) {
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(44100, 2, 64);
    instrument.selectPreset(preset);
    instrument.setParameter(kVolume, 83);
    std::vector<float> values;
    for (UInt32 id = 0; id < kNumberOfParameters; ++id) values.push_back(instrument.getParameter(id));
    return values;
}

std::vector<float> valuesIn(const fs::path& file) {
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(44100, 2, 64);
    loadStateFile(instrument, file);
    std::vector<float> values;
    for (UInt32 id = 0; id < kNumberOfParameters; ++id) values.push_back(instrument.getParameter(id));
    return values;
}

}  // namespace

// A desktop finds the window by its process and names it by its class and
// title; the title names the sound and marks edits; Page Down steps presets;
// without --save, closing and SIGTERM keep unsaved edits in the sounds folder.
TEST(EditWindow, TheWindowNamesItsSoundAndNoEditIsLost) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    SetPlatformLogHook(PlatformLogSilent);
    RegisterVelmora();
    const auto pageDown = [](EditProcess& edit) {
        edit.key(XK_Next, true);
        edit.key(XK_Next, false);
    };
    {
        EditProcess edit({"--preset", "rez bass"}, 850, false);
        ASSERT_TRUE(edit.ready()) << "no window with the process's _NET_WM_PID";
        EXPECT_EQ(windowProperty(edit.d, edit.w, "WM_CLASS", XA_STRING), std::string("velmora\0Velmora\0", 16));
        EXPECT_GT(windowProperty(edit.d, edit.w, "_NET_WM_ICON", XA_CARDINAL).size(), 16 * 16 * sizeof(long));
        EXPECT_EQ(edit.title(), "Velmora \u2014 rez bass");
        pageDown(edit);
        EXPECT_TRUE(waitFor([&] { return edit.title() == "Velmora \u2014 deep"; })) << edit.title();
        edit.p.move(70, 38);  // Volume to three o'clock
        edit.p.button(true);
        edit.p.button(false);
        EXPECT_TRUE(waitFor([&] { return edit.title() == "*Velmora \u2014 deep"; })) << edit.title();
        sendCloseRequest(edit.d, edit.w);
        EXPECT_EQ(edit.ended(), 0) << edit.said();
        const std::vector<fs::path> kept = edit.soundFiles();
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(valuesIn(kept[0]), presetWithVolume83(2));
    }
    {
        // Edits go to a file before Page Down replaces them; SIGTERM then has nothing new to keep.
        EditProcess edit({"--preset", "5"}, 850, false);
        ASSERT_TRUE(edit.ready());
        edit.p.move(70, 38);
        edit.p.button(true);
        edit.p.button(false);
        EXPECT_TRUE(waitFor([&] { return edit.title().front() == '*'; })) << edit.title();
        pageDown(edit);
        EXPECT_TRUE(waitFor([&] { return edit.title() == "Velmora \u2014 dyna scream [MW]"; })) << edit.title();
        kill(edit.child, SIGTERM);
        EXPECT_EQ(edit.ended(), 0) << edit.said();
        const std::vector<fs::path> kept = edit.soundFiles();
        ASSERT_EQ(kept.size(), 1u);
        EXPECT_EQ(valuesIn(kept[0]), presetWithVolume83(5));
    }
    {
        // SIGTERM with unsaved edits keeps them.
        EditProcess edit({}, 850, false);
        ASSERT_TRUE(edit.ready());
        edit.p.move(70, 38);
        edit.p.button(true);
        edit.p.button(false);
        EXPECT_TRUE(waitFor([&] { return edit.title() == "*Velmora"; })) << edit.title();
        kill(edit.child, SIGTERM);
        EXPECT_EQ(edit.ended(), 0) << edit.said();
        ASSERT_EQ(edit.soundFiles().size(), 1u);
        EXPECT_EQ(valuesIn(edit.soundFiles()[0])[kVolume], 83);
    }
}
