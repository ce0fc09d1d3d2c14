// `velmora edit`: the instrument and its panel in a window, opened through the
// host-side calls as any host of the platform opens them. A library of its
// own, loaded only for this command, so that `velmora render` never links X11.
#include <X11/keysym.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "Binding/VelmoraEntry.h"
#include "Binding/VelmoraViewEntry.h"
#include "HostedInstrument.h"
#include "PlatformUI/AudioUnitCarbonView.h"
#include "PlatformUI/Bundles.h"
#include "PlatformUI/Controls.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "StateFile.h"

namespace {

constexpr const char* kEditUsage =
    "usage: velmora edit [--preset N|NAME] [--state FILE.aupreset] [--save FILE.aupreset]\n"
    "                    [--scale S] [--screenshot OUT.png]\n";

struct EditOptions {
    std::string preset, state, save, screenshot;
    double scale = 1.0;
};

EditOptions parse(const std::vector<std::string>& args) {
    EditOptions o;
    if (const char* env = std::getenv("VELMORA_UI_SCALE")) o.scale = std::atof(env);
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw std::invalid_argument(a + " needs a value");
            return args[++i];
        };
        if (a == "--preset") o.preset = value();
        else if (a == "--state") o.state = value();
        else if (a == "--save") o.save = value();
        else if (a == "--screenshot") o.screenshot = value();
        else if (a == "--scale") o.scale = std::atof(value().c_str());
        else if (a != "--verbose") throw std::invalid_argument("unknown option '" + a + "'");
    }
    if (!(o.scale >= 1.0 && o.scale <= 4.0)) throw std::invalid_argument("bad scale (1 to 4)");
    return o;
}

// The folder of the running program, where the build puts the bundle.
std::filesystem::path programFolder() { return std::filesystem::read_symlink("/proc/self/exe").parent_path(); }

struct Session {
    HostedInstrument* instrument;
    const EditOptions* options;
    bool saveRequested = false;
};

void onKey(WindowRef, unsigned long keysym, bool pressed, UInt32 modifiers, void* user) {
    auto* session = static_cast<Session*>(user);
    if (pressed && (modifiers & cmdKey) && (keysym == XK_s || keysym == XK_S)) session->saveRequested = true;
}

void save(Session& s) {
    saveStateFile(*s.instrument, s.options->save);
    std::printf("%s: saved\n", s.options->save.c_str());
}

int edit(const EditOptions& o) {
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(44100, 2, 512);
    if (!o.preset.empty()) {
        const auto number = instrument.findPreset(o.preset);
        if (!number) throw std::invalid_argument("no preset '" + o.preset + "' (velmora presets lists them)");
        instrument.selectPreset(*number);
    }
    if (!o.state.empty()) loadStateFile(instrument, o.state);

    RegisterVelmoraView((programFolder() / "Velmora.component").string());
    SetPictureScale(o.scale);
    ComponentInstance view = nullptr;
    if (OpenAComponent(FindNextComponent(nullptr, kVelmoraViewDescription), &view) != noErr)
        throw std::runtime_error("cannot open the editor component");

    // A first size; the window takes the pane's size once the panel is built.
    WindowRef window = nullptr;
    const SInt16 width = 850, height = 590;
    if (o.screenshot.empty()) {
        if (CreateX11Window("Velmora", width, height, o.scale, &window) != noErr) {
            CloseComponent(view);
            throw std::runtime_error("cannot open the X display (is DISPLAY set?); --screenshot works without one");
        }
    } else {
        CreateOffscreenWindow(width, height, o.scale, &window);
    }
    ControlRef root = nullptr, pane = nullptr;
    GetRootControl(window, &root);
    const Float32Point location{0, 0}, size{width, height};
    const OSStatus created = AudioUnitCarbonViewCreate(view, instrument.unit(), window, root, &location, &size, &pane);
    if (created != noErr) {
        CloseComponent(view);
        DisposeWindow(window);
        throw std::runtime_error("the editor could not build its panel (" + std::to_string(created) + ")");
    }
    Rect bounds;
    GetControlBounds(pane, &bounds);
    SizeWindow(window, bounds.right, bounds.bottom);

    Session session{&instrument, &o};
    int result = 0;
    if (!o.screenshot.empty()) {
        UpdateWindow(window);
        if (!WriteWindowPNG(window, o.screenshot)) {
            std::fprintf(stderr, "velmora: cannot write %s\n", o.screenshot.c_str());
            result = 1;
        }
    } else {
        SetWindowKeyHandler(window, onKey, &session);
        if (!o.save.empty()) std::printf("Ctrl+S or closing the window saves to %s\n", o.save.c_str());
        while (!IsWindowCloseRequested(window)) {
            RunLoopRunFor(CFRunLoopGetCurrent(), 0.05);
            if (session.saveRequested && !o.save.empty()) save(session);
            session.saveRequested = false;
        }
        if (!o.save.empty()) save(session);
    }
    // The view goes before its window.
    CloseComponent(view);
    DisposeWindow(window);
    return result;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int VelmoraEditCommand(const std::vector<std::string>* args) {
    try {
        return edit(parse(*args));
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "velmora: %s\n%s", e.what(), kEditUsage);
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora: %s\n", e.what());
        return 1;
    }
}
