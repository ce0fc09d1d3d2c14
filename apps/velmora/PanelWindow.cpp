// PanelWindow: the view component for the instrument, in a window of its size.
#include "PanelWindow.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "Binding/VelmoraViewEntry.h"
#include "PlatformUI/AudioUnitCarbonView.h"
#include "PlatformUI/Bundles.h"
#include "PlatformUI/Controls.h"
#include "PlatformUI/Quartz.h"
#include "PlatformUI/Windows.h"
#include "ProgramFolders.h"
#include "StateFile.h"
#include "Usage.h"

PanelOptions::PanelOptions() {
    if (const char* env = std::getenv("VELMORA_UI_SCALE")) scale = env;
    if (const char* env = std::getenv("VELMORA_KNOB_MODE")) knobMode = env;
}

const std::string& optionValue(const std::vector<std::string>& args, size_t& i) {
    if (i + 1 >= args.size()) throw std::invalid_argument(args[i] + " needs a value");
    return args[++i];
}

bool takePanelOption(const std::vector<std::string>& args, size_t& i, PanelOptions& o) {
    const std::string& a = args[i];
    if (a == "--preset")
        o.preset = optionValue(args, i);
    else if (a == "--state")
        o.state = optionValue(args, i);
    else if (a == "--save")
        o.save = optionValue(args, i);
    else if (a == "--scale")
        o.scale = optionValue(args, i);
    else if (a == "--knob-mode")
        o.knobMode = optionValue(args, i);
    else
        return false;
    return true;
}

namespace fs = std::filesystem;

namespace {

// The scale asked for; 0 when none is.
double requestedScale(const std::string& text) {
    if (text.empty()) return 0;
    char* end = nullptr;
    const double scale = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end || !(scale > 0 && scale < 100))
        throw std::invalid_argument("bad scale '" + text + "' (1, 1.5 or 2)");
    return scale;
}

// The panel's size at scale 1.
constexpr int kPanelWidth = 850, kPanelHeight = 590;

// An explicit scale rounded to one the pictures are drawn at; without one, the
// display's Xft.dpi picks it, and it steps down until the window fits the screen.
double panelScale(const PanelOptions& o, bool offscreen) {
    if (const double asked = requestedScale(o.scale); asked > 0) {
        const double scale = NearestWindowScale(asked);
        if (scale != asked)
            std::fprintf(stderr, "velmora: scale %s is drawn at %g (the panel's scales are 1, 1.5 and 2)\n",
                         o.scale.c_str(), scale);
        return scale;
    }
    int width = 0, height = 0;
    double dpi = 96;
    if (offscreen || !GetX11ScreenMetrics(&width, &height, &dpi)) return 1.0;
    const double wanted = dpi < 120 ? 1.0 : dpi < 168 ? 1.5 : 2.0;
    double scale = wanted;
    while (scale > 1.0 && (kPanelWidth * scale > width || kPanelHeight * scale > height)) scale -= 0.5;
    if (scale != wanted)
        std::fprintf(stderr,
                     "velmora: the panel at scale %g (Xft.dpi %g) does not fit the %d x %d screen; drawing it at %g\n",
                     wanted, dpi, width, height, scale);
    return scale;
}

}  // namespace

void checkPanelOptions(const PanelOptions& o) {
    requestedScale(o.scale);
    if (o.knobMode != "angle" && o.knobMode != "linear")
        throw std::invalid_argument("bad knob mode '" + o.knobMode + "' (angle or linear)");
}

int runPanelCommand(const char* command, const std::function<int()>& body,
                    const std::function<void(const char* why)>& failed) {
    try {
        return body();
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "velmora: %s\n%s", e.what(), commandUsage(command).c_str());
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: %s\n", e.what());
        if (failed) failed(e.what());
        return 1;
    }
}

void usePanelKnobMode(const PanelOptions& o) {
    // The panel reads it where every host of the panel can set it, the LV2 UI's too.
    setenv("VELMORA_KNOB_MODE", o.knobMode.c_str(), 1);
}

void applyPresetAndState(HostedInstrument& instrument, const std::string& preset, const std::string& state) {
    if (!preset.empty()) {
        const auto number = instrument.findPreset(preset);
        if (!number) throw std::invalid_argument("no preset '" + preset + "' (velmora presets lists them)");
        instrument.selectPreset(*number);
    }
    if (!state.empty()) loadStateFile(instrument, state);
}

PanelWindow::PanelWindow(AudioUnit unit, const char* title, const PanelOptions& options, bool offscreen,
                         const std::string& noDisplayHint) {
    const double scale = panelScale(options, offscreen);
    static const bool registered = [] {
        RegisterVelmoraView((programFolders().libraries / "Velmora.component").string());
        return true;
    }();
    (void)registered;
    SetPictureScale(scale);
    if (OpenAComponent(FindNextComponent(nullptr, kVelmoraViewDescription), &mView) != noErr)
        throw std::runtime_error("cannot open the editor component");

    // A first size; the window takes the pane's size once the panel is built.
    const SInt16 width = kPanelWidth, height = kPanelHeight;
    if (offscreen) {
        CreateOffscreenWindow(width, height, scale, &mWindow);
    } else if (CreateX11Window(title, width, height, scale, &mWindow) != noErr) {
        CloseComponent(mView);
        throw std::runtime_error("cannot open the X display (is DISPLAY set?); " + noDisplayHint);
    } else {
        SetWindowClass(mWindow, "velmora", "Velmora");
        setIcon();
    }
    mTitle = title;
    ControlRef root = nullptr, pane = nullptr;
    GetRootControl(mWindow, &root);
    const Float32Point location{0, 0}, size{width, height};
    const OSStatus created = AudioUnitCarbonViewCreate(mView, unit, mWindow, root, &location, &size, &pane);
    if (created != noErr) {
        CloseComponent(mView);
        DisposeWindow(mWindow);
        throw std::runtime_error("the editor could not build its panel (" + std::to_string(created) + ")");
    }
    Rect bounds;
    GetControlBounds(pane, &bounds);
    SizeWindow(mWindow, bounds.right, bounds.bottom);
}

void PanelWindow::setIcon() {
    std::vector<CGImageRef> sizes;
    for (int size : {16, 32, 48, 64, 128}) {
        const std::string side = std::to_string(size);
        const fs::path path = programFolders().icons / "hicolor" / (side + "x" + side) / "apps" / "velmora.png";
        CFURLRef url = CFStringCreateWithCString(nullptr, path.c_str(), kCFStringEncodingUTF8);
        if (CGDataProviderRef provider = CGDataProviderCreateWithURL(url)) {
            if (CGImageRef image =
                    CGImageCreateWithPNGDataProvider(provider, nullptr, false, kCGRenderingIntentDefault))
                sizes.push_back(image);
            CGDataProviderRelease(provider);
        }
        CFRelease(url);
    }
    SetWindowIcon(mWindow, sizes);
    for (CGImageRef image : sizes) CGImageRelease(image);
}

void PanelWindow::setTitle(const std::string& title) {
    if (title == mTitle) return;
    mTitle = title;
    SetWindowTitle(mWindow, title.c_str());
}

PanelWindow::~PanelWindow() {
    // The view goes before its window.
    CloseComponent(mView);
    DisposeWindow(mWindow);
}
