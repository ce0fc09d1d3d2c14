// `velmora edit`: the instrument and its panel in a window, opened through the
// host-side calls as any host of the platform opens them. A library of its
// own, loaded only for this command, so that `velmora render` never links X11.
#include <X11/keysym.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "Binding/VelmoraEntry.h"
#include "Host/HostedInstrument.h"
#include "PanelWindow.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "SoundSession.h"
#include "StopSignals.h"

namespace {

struct EditOptions : PanelOptions {
    std::string screenshot;
};

EditOptions parse(const std::vector<std::string>& args) {
    EditOptions o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (takePanelOption(args, i, o)) continue;
        if (a == "--screenshot")
            o.screenshot = optionValue(args, i);
        else if (a != "--verbose")
            throw std::invalid_argument("unknown option '" + a + "'");
    }
    checkPanelOptions(o);
    return o;
}

struct Keys {
    SoundSession& sound;
    bool saveRequested = false;
};

void onKey(WindowRef, unsigned long keysym, bool pressed, UInt32 modifiers, void* user) {
    auto* keys = static_cast<Keys*>(user);
    if (!pressed) return;
    if ((modifiers & cmdKey) && (keysym == XK_s || keysym == XK_S)) keys->saveRequested = true;
    if (keysym == XK_Next) keys->sound.stepPreset(+1);
    if (keysym == XK_Prior) keys->sound.stepPreset(-1);
}

int edit(const EditOptions& o) {
    usePanelKnobMode(o);
    HostedInstrument instrument(kVelmoraDescription);
    instrument.configure(44100, 2, 512);
    applyPresetAndState(instrument, o.preset, o.state);
    SoundSession sound(instrument, o.save);
    sound.opened(o.preset, o.state);
    PanelWindow panel(instrument.unit(), sound.title().c_str(), o, !o.screenshot.empty(),
                      "--screenshot works without one");
    WindowRef window = panel.window();

    if (!o.screenshot.empty()) {
        UpdateWindow(window);
        if (WriteWindowPNG(window, o.screenshot)) return 0;
        std::fprintf(stderr, "velmora: cannot write %s\n", o.screenshot.c_str());
        return 1;
    }
    catchStopSignals();
    Keys keys{sound};
    SetWindowKeyHandler(window, onKey, &keys);
    if (!o.save.empty())
        std::printf("Ctrl+S or closing the window saves to %s\n", o.save.c_str());
    else
        std::printf("edits not saved are kept in %s when the window closes\n", SoundSession::soundsFolder().c_str());
    std::fflush(stdout);
    while (!IsWindowCloseRequested(window) && !stopRequested()) {
        RunLoopRunFor(CFRunLoopGetCurrent(), 0.05);
        if (keys.saveRequested) sound.save();
        keys.saveRequested = false;
        panel.setTitle(sound.title());
    }
    return sound.finish() ? 0 : 1;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int VelmoraEditCommand(const std::vector<std::string>* args) {
    return runPanelCommand("edit", [&] { return edit(parse(*args)); });
}
