// QuibMan: one per editor view. Registers the view's own control class,
// keeps the pictures and controls, routes their events and runs the idle timer.
#pragma once
#include "PlatformUI/CarbonEvents.h"
#include "PlatformUI/Controls.h"
#include "Quib/QuibItem.h"
#include "Quib/QuibReadout.h"

class AUCarbonViewBase;
class QuibCtrl;
class QuibGraphic;

class QuibMan {
public:
    QuibMan(AUCarbonViewBase* view, UInt32 X, UInt32 Y);
    ~QuibMan();
    QuibMan(const QuibMan&) = delete;
    QuibMan& operator=(const QuibMan&) = delete;

    // Registers the control class and starts the idle timer; once, before the first control.
    void initialize();

    // Keeps the picture, with the next item ID; returns it.
    QuibGraphic* addImage(std::unique_ptr<QuibGraphic> image);
    QuibGraphic* getImageByID(UInt32 id);
    // Top-level controls only.
    QuibCtrl* getCtrlByID(UInt32 id);
    // Keeps a top-level control (one without a parent) and gives it its Carbon control; returns it.
    QuibCtrl* addCtrl(std::unique_ptr<QuibCtrl> control);
    // Gives any control its item ID and its Carbon control (a parent keeps its children).
    void registerCtrl(QuibCtrl* control);
    // Finds the control at any depth.
    QuibCtrl* getCtrlByControlRef(ControlRef ref);

    QuibCtrl* getControls() const { return Controls.get(); }
    void setRelaxed(bool r) { relaxed = r; }
    bool isRelaxed() const { return relaxed; }
    AUCarbonViewBase* getAUCarbonViewBase() const { return myAUCarbonViewBase; }
    // Linear knobs: a plain drag turns a knob as the relative drag does, so a press never makes it jump.
    void setLinearKnobs(bool linear) { linearKnobs = linear; }
    bool hasLinearKnobs() const { return linearKnobs; }
    QuibReadout& getReadout() { return readout; }
    const char* getClassID() const { return defString; }
    UInt32 requestID() { return ++itemCount; }
    void idle();

private:
    static OSStatus QuibControlHandler(EventHandlerCallRef, EventRef event, void* manager);
    static void TimerProc(EventLoopTimerRef, void* manager);
    static void WheelBurstEnded(EventLoopTimerRef, void* manager);
    void wheel(QuibCtrl* control, int notches, bool withShift);
    void endWheelBurst();
    static void TrackProc(MouseTrackingResult result, Point globalMouse, void* manager);
    OSStatus click(QuibCtrl* control, ControlRef ref, WindowRef window);
    void drawControl(QuibCtrl* control, WindowRef window);

    UInt32 X, Y;
    UInt32 itemCount = 0;
    std::unique_ptr<QuibGraphic> Images;
    std::unique_ptr<QuibCtrl> Controls;
    bool relaxed = false;
    EventLoopTimerRef timer = nullptr;
    AUCarbonViewBase* myAUCarbonViewBase;
    ControlDefSpec ControlSpec{};
    ToolboxObjectClassRef ControlClass = nullptr;
    char defString[64] = {};

    bool linearKnobs = false;
    // Wheel notches on one control, each within kWheelBurstSeconds of the last,
    // make one gesture for the host, as a drag does.
    QuibCtrl* wheelControl = nullptr;
    EventLoopTimerRef wheelTimer = nullptr;
    QuibReadout readout{this};

    // The gesture being tracked: one at a time, from the press to the release.
    // A reset (Control-click) only ends; the second press of a double-click
    // becomes a drag only once the pointer moves, and resets if it does not.
    struct Gesture {
        enum Kind { drag, reset, secondPress } kind = drag;
        QuibCtrl* control = nullptr;
        Point origin{};  // the control's top-left corner in global coordinates
        Point press{};   // control-local
        EventTime time = 0;
        bool withOption = false, withShift = false;
        bool moved = false;  // beyond kClickSlop from the press
    } gesture;
    // The last press and release without motion, the first half of a double-click.
    struct {
        QuibCtrl* control = nullptr;
        EventTime time = 0;
    } lastClick;
};
