// PanelWindow: the instrument's panel in a window, opened through the host-side
// editor calls as any host of the platform opens it (`velmora edit` and `play`).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "Host/HostedInstrument.h"
#include "PlatformUI/CarbonTypes.h"

// The options `edit` and `play` share: the sound the panel opens with, where
// it is saved, the panel's scale (VELMORA_UI_SCALE unless --scale says) and
// how its knobs turn (VELMORA_KNOB_MODE unless --knob-mode says).
struct PanelOptions {
    std::string preset, state, save;
    std::string scale;               // empty: from the screen
    std::string knobMode = "angle";  // or "linear"
    PanelOptions();
};
// The value after args[i], moving i onto it; std::invalid_argument when there is none.
const std::string& optionValue(const std::vector<std::string>& args, size_t& i);
// Takes args[i] (and its value) when it is one of the shared options.
bool takePanelOption(const std::vector<std::string>& args, size_t& i, PanelOptions& options);
// std::invalid_argument unless the scale is a positive number and the knob mode "angle" or "linear".
void checkPanelOptions(const PanelOptions& options);

// Runs `edit` or `play`: a wrong command line (std::invalid_argument) is said with
// the command's usage and gives 2; any other failure is said, handed to `failed`
// when there is one, and gives 1.
int runPanelCommand(const char* command, const std::function<int()>& body,
                    const std::function<void(const char* why)>& failed = {});

// Makes the options' knob mode the process's, before any other thread runs.
void usePanelKnobMode(const PanelOptions& options);

// --preset (a number or a name) and then --state, as both commands take them;
// throws std::invalid_argument for an unknown preset, std::runtime_error for a
// state file that cannot be loaded.
void applyPresetAndState(HostedInstrument& instrument, const std::string& preset, const std::string& state);

class PanelWindow {
public:
    // An X11 window titled `title`, or an offscreen one for screenshots, with the
    // options' scale and knob mode. Throws std::runtime_error: without a display
    // the message ends with `noDisplayHint`.
    PanelWindow(AudioUnit unit, const char* title, const PanelOptions& options, bool offscreen,
                const std::string& noDisplayHint);
    ~PanelWindow();
    PanelWindow(const PanelWindow&) = delete;
    PanelWindow& operator=(const PanelWindow&) = delete;

    WindowRef window() const { return mWindow; }
    // Sets the window's title when it changed.
    void setTitle(const std::string& title);

private:
    void setIcon();

    ComponentInstance mView = nullptr;
    WindowRef mWindow = nullptr;
    std::string mTitle;
};
