// QuibReadout: the small box beside a control that names its parameter and
// shows its value as the panel writes it, while the control is dragged,
// wheeled or stepped, and once the pointer has rested on it for half a second.
// It is the window's overlay, never part of the panel's picture: it takes no
// clicks and leaves nothing behind when it goes.
#pragma once
#include <map>
#include <string>

#include "PlatformUI/CarbonEvents.h"

class QuibCtrl;
class QuibMan;

class QuibReadout {
public:
    explicit QuibReadout(QuibMan* chief);
    ~QuibReadout();
    QuibReadout(const QuibReadout&) = delete;
    QuibReadout& operator=(const QuibReadout&) = delete;

    // Follows the pointer over `window` (hover needs motion without a button and leaving).
    void install(WindowRef window);

    // A press on `control` (null: on anything else): its readout at once, any other gone.
    void pressed(QuibCtrl* control);
    // The control's value may have moved (a drag step, a wheel notch, a step button).
    void changed(QuibCtrl* control);
    // The gesture ended with the pointer on the control or not.
    void released(bool pointerOnControl);
    // Gone now, and nothing pending (a control is about to go away).
    void forget();

    // What it shows, for the controls that have one: the parameter's name and
    // the value as the control's own display writes it.
    static bool shows(QuibCtrl* control);
    std::string valueText(QuibCtrl* control);
    // Where it goes for a control: right of it, left at the window's right edge, inside the window.
    Rect placeFor(QuibCtrl* control);
    QuibCtrl* shownFor() const { return shown; }

    static constexpr EventTimerInterval kRestSeconds = 0.5;    // hover before it shows
    static constexpr EventTimerInterval kLingerSeconds = 1.0;  // after a gesture or the pointer leaves

private:
    enum class Pending { nothing, reveal, conceal };
    void show(QuibCtrl* control);
    void hide();
    void schedule(Pending what, EventTimerInterval seconds);
    void pointerOver(QuibCtrl* control);
    int widthFor(QuibCtrl* control);
    static OSStatus MouseHandler(EventHandlerCallRef, EventRef event, void* readout);
    static void TimerProc(EventLoopTimerRef, void* readout);

    QuibMan* Chief;
    WindowRef window = nullptr;
    EventHandlerRef handler = nullptr;
    EventLoopTimerRef timer = nullptr;
    Pending pending = Pending::nothing;
    QuibCtrl* shown = nullptr;    // whose readout is on screen
    QuibCtrl* hovered = nullptr;  // the control under the resting pointer
    bool held = false;            // a button is down
    std::string shownText;
    std::map<QuibCtrl*, int> widths;  // fixed per control
};
