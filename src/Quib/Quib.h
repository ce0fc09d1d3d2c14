// QuibMan: one per editor view. Registers the view's own control class,
// keeps the pictures and controls, routes their events and runs the idle timer.
#pragma once
#include "PlatformUI/CarbonEvents.h"
#include "PlatformUI/Controls.h"
#include "Quib/QuibItem.h"

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

    void addImage(QuibGraphic* image);
    QuibGraphic* getImageByID(UInt32 id);
    // Top-level controls only.
    QuibCtrl* getCtrlByID(UInt32 id);
    void addCtrl(QuibCtrl* control);
    // Finds the control at any depth.
    QuibCtrl* getCtrlByControlRef(ControlRef ref);

    QuibCtrl* getControls() const { return Controls; }
    void setRelaxed(bool r) { relaxed = r; }
    bool isRelaxed() const { return relaxed; }
    AUCarbonViewBase* getAUCarbonViewBase() const { return myAUCarbonViewBase; }
    const char* getClassID() const { return defString; }
    UInt32 requestID() { return ++itemCount; }
    void idle();

private:
    static OSStatus QuibControlHandler(EventHandlerCallRef, EventRef event, void* manager);
    static void TimerProc(EventLoopTimerRef, void* manager);
    static void TrackProc(MouseTrackingResult result, Point globalMouse, void* manager);
    OSStatus click(QuibCtrl* control, ControlRef ref, WindowRef window);
    void drawControl(QuibCtrl* control, WindowRef window);

    UInt32 X, Y;
    UInt32 itemCount = 0;
    QuibGraphic* Images = nullptr;
    QuibCtrl* Controls = nullptr;
    bool relaxed = false;
    EventLoopTimerRef timer = nullptr;
    AUCarbonViewBase* myAUCarbonViewBase;
    ControlDefSpec ControlSpec{};
    ToolboxObjectClassRef ControlClass = nullptr;
    char defString[64] = {};

    // The gesture being tracked: one at a time, from the press to the release.
    struct Gesture {
        QuibCtrl* control = nullptr;
        Point origin{};  // the control's top-left corner in global coordinates
        bool withOption = false, withShift = false;
    } gesture;
};
