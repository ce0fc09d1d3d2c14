// QuibMan: class registration, the control handler, tracking by events, the idle timer.
#include "Quib/Quib.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"
#include "Platform/Log.h"
#include "PlatformUI/QuickDraw.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "Quib/QuibControl.h"
#include "Quib/QuibGraphic.h"

QuibMan::QuibMan(AUCarbonViewBase* view, UInt32 x, UInt32 y) : X(x), Y(y), myAUCarbonViewBase(view) {
    ControlSpec.defType = kControlDefObjectClass;
}

QuibMan::~QuibMan() {
    readout.forget();
    endWheelBurst();
    if (wheelTimer) RemoveEventLoopTimer(wheelTimer);
    if (timer) RemoveEventLoopTimer(timer);
    Controls.reset();  // the controls go before the pictures they draw
    Images.reset();
}

void QuibMan::initialize() {
    static const EventTypeSpec events[] = {{kEventClassControl, kEventControlDraw},
                                           {kEventClassControl, kEventControlHit},
                                           {kEventClassControl, kEventControlTrack},
                                           {kEventClassControl, kEventControlClick},
                                           {kEventClassMouse, kEventMouseWheelMoved}};
    // Every open editor owns a class of its own: the first free number from its address on.
    for (uintptr_t n = reinterpret_cast<uintptr_t>(this);; ++n) {
        std::snprintf(defString, sizeof defString, "org.quib.tarv%lu.cntrl", static_cast<unsigned long>(n));
        CFStringRef classID = CFStringCreateWithCString(nullptr, defString, kCFStringEncodingISOLatin1);
        const OSStatus err =
            RegisterToolboxObjectClass(classID, nullptr, 5, events, QuibControlHandler, this, &ControlClass);
        CFRelease(classID);
        if (err == noErr) break;
    }
    ControlSpec.u.classRef = ControlClass;
    InstallEventLoopTimer(GetCurrentEventLoop(), 0.0, 0.05, TimerProc, this, &timer);
    InstallEventLoopTimer(GetCurrentEventLoop(), kEventDurationForever, 0, WheelBurstEnded, this, &wheelTimer);
    readout.install(myAUCarbonViewBase->GetCarbonWindow());
}

QuibGraphic* QuibMan::addImage(std::unique_ptr<QuibGraphic> image) {
    QuibGraphic* added = image.get();
    added->setID(++itemCount);
    if (Images)
        Images->append(std::move(image));
    else
        Images = std::move(image);
    return added;
}

QuibGraphic* QuibMan::getImageByID(UInt32 wanted) {
    return Images ? static_cast<QuibGraphic*>(Images->getByID(wanted)) : nullptr;
}

QuibCtrl* QuibMan::getCtrlByID(UInt32 wanted) {
    return Controls ? static_cast<QuibCtrl*>(Controls->getByID(wanted)) : nullptr;
}

QuibCtrl* QuibMan::addCtrl(std::unique_ptr<QuibCtrl> control) {
    QuibCtrl* added = control.get();
    if (Controls)
        Controls->append(std::move(control));
    else
        Controls = std::move(control);
    added->setOffset(X, Y);
    registerCtrl(added);
    return added;
}

void QuibMan::registerCtrl(QuibCtrl* control) {
    control->setID(++itemCount);
    if (control->providesForeignControls()) {
        control->initForeignControls(ControlSpec);
        return;
    }
    Rect bounds;
    control->getBounds(&bounds);
    ControlRef ref = nullptr;
    CreateCustomControl(myAUCarbonViewBase->GetCarbonWindow(), &bounds, &ControlSpec, nullptr, &ref);
    if (!ref) return;
    SetControl32BitMaximum(ref, SInt32(UInt32(control->getRange() * float(control->getResolution()))));
    SetControl32BitMinimum(ref, 0);
    if (control->isAUVPattached())
        myAUCarbonViewBase->AddCarbonControl(AUCarbonViewControl::kTypeContinuous, control->getAUVP(), ref);
    else
        myAUCarbonViewBase->EmbedControl(ref);
    control->setCarbonControl(ref);
}

QuibCtrl* QuibMan::getCtrlByControlRef(ControlRef ref) {
    for (auto* c = Controls.get(); c; c = static_cast<QuibCtrl*>(c->getNext()))
        if (c->isControlRef(ref)) return c->getChild(ref);
    return nullptr;
}

void QuibMan::idle() {
    relaxed = true;
    if (Controls) Controls->idle();
    relaxed = false;
}

void QuibMan::TimerProc(EventLoopTimerRef, void* manager) {
    if (manager) static_cast<QuibMan*>(manager)->idle();
}

void QuibMan::drawControl(QuibCtrl* control, WindowRef window) {
    GrafPtr savedPort = nullptr;
    GetPort(&savedPort);
    CGrafPtr port = GetWindowPort(window);
    SetPort(port);
    Rect portBounds;
    GetPortBounds(port, &portBounds);
    RgnHandle region = NewRgn();
    OpenRgn();
    control->clip(true);
    CloseRgn(region);
    SetClip(region);
    CGContextRef context = nullptr;
    QDBeginCGContext(port, &context);
    ClipCGContextToRegion(context, &portBounds, region);
    SyncCGContextOriginWithPort(context, port);
    CGContextSaveGState(context);
    control->draw(context, UInt32(portBounds.bottom));
    CGContextRestoreGState(context);
    CGContextSynchronize(context);
    QDEndCGContext(port, &context);
    DisposeRgn(region);
    SetPort(savedPort);
}

namespace {

// Two presses on one knob or display within this time, by the events' own
// time stamps, the first without motion, make a double-click.
constexpr EventTime kDoubleClickSeconds = 0.4;
// Motion of at most this many pixels from the press still counts as a click.
constexpr int kClickSlop = 2;
// A wheel gesture ends this long after its last notch.
constexpr EventTimerInterval kWheelBurstSeconds = 0.3;

bool takesDoubleClick(const QuibCtrl* control) {
    return control->getType() == kQuib_Knob || control->getType() == kQuib_Display;
}

bool contains(QuibCtrl* control, Point local) {
    const eRect* r = control->getBounds();
    return local.h >= 0 && local.v >= 0 && local.h < r->w && local.v < r->h;
}

}  // namespace

void QuibMan::wheel(QuibCtrl* control, int notches, bool withShift) {
    if (control != wheelControl) {
        endWheelBurst();
        if (control->isAUVPattached())
            myAUCarbonViewBase->TellHost(control->getAUVP(), kAudioUnitCarbonViewEvent_MouseDownInControl);
        wheelControl = control;
    }
    control->mouseWheel(notches, withShift);
    readout.changed(control);
    SetEventLoopTimerNextFireTime(wheelTimer, kWheelBurstSeconds);
}

void QuibMan::endWheelBurst() {
    QuibCtrl* control = wheelControl;
    wheelControl = nullptr;
    if (control && control->isAUVPattached())
        myAUCarbonViewBase->TellHost(control->getAUVP(), kAudioUnitCarbonViewEvent_MouseUpInControl);
}

void QuibMan::WheelBurstEnded(EventLoopTimerRef, void* manager) { static_cast<QuibMan*>(manager)->endWheelBurst(); }

// A press: mouseDown now; the rest of the gesture arrives by events (TrackProc),
// so the host's user-interface thread is never held in a loop of ours.
OSStatus QuibMan::click(QuibCtrl* control, ControlRef ref, WindowRef window) {
    endWheelBurst();
    const UInt32 modifiers = GetCurrentEventKeyModifiers();
    const EventTime time = GetCurrentEventTime();
    Rect bounds, port;
    GetControlBounds(ref, &bounds);
    GetWindowBounds(window, kWindowGlobalPortRgn, &port);
    Point global;
    GetGlobalMouse(&global);
    gesture = {};
    gesture.control = control;
    gesture.origin = {SInt16(port.top + bounds.top), SInt16(port.left + bounds.left)};
    gesture.press = {SInt16(global.v - gesture.origin.v), SInt16(global.h - gesture.origin.h)};
    gesture.time = time;
    gesture.withOption = (modifiers & optionKey) != 0;
    gesture.withShift = (modifiers & shiftKey) != 0;
    const bool second = takesDoubleClick(control) && lastClick.control == control && time >= lastClick.time &&
                        time - lastClick.time <= kDoubleClickSeconds;
    if (modifiers & cmdKey) {
        gesture.kind = Gesture::reset;
        control->setDefault();
    } else if (second) {
        gesture.kind = Gesture::secondPress;  // mouseDown waits for motion
    } else {
        relaxed = true;
        control->mouseDown(&gesture.press, gesture.withOption, gesture.withShift);
    }
    readout.pressed(control);
    // Without a button down (an event sent by a program) the gesture ends where it began.
    if (TrackMouseLocationWithProc(window, TrackProc, this) != noErr) TrackProc(kMouseTrackingMouseUp, global, this);
    return noErr;
}

void QuibMan::TrackProc(MouseTrackingResult result, Point global, void* manager) {
    auto* self = static_cast<QuibMan*>(manager);
    Gesture& g = self->gesture;
    QuibCtrl* control = g.control;
    if (!control) return;
    Point local{SInt16(global.v - g.origin.v), SInt16(global.h - g.origin.h)};
    const bool wasMoved = g.moved;
    g.moved = g.moved || std::abs(local.h - g.press.h) > kClickSlop || std::abs(local.v - g.press.v) > kClickSlop;
    if (result == kMouseTrackingMouseUp) {
        g.control = nullptr;
        if (g.kind == Gesture::drag || (g.kind == Gesture::secondPress && wasMoved))
            control->mouseUp(&local, g.withOption, g.withShift);
        else if (g.kind == Gesture::secondPress)
            control->setDefault();
        self->relaxed = false;
        // Only a plain click can be the first half of a double-click.
        if (g.kind == Gesture::drag && !g.moved)
            self->lastClick = {control, g.time};
        else
            self->lastClick = {};
        self->readout.changed(control);
        self->readout.released(contains(control, local));
        return;
    }
    if (g.kind == Gesture::reset) return;
    if (g.kind == Gesture::secondPress && !wasMoved) {
        if (!g.moved) return;
        self->relaxed = true;  // the drag starts where the button went down
        control->mouseDown(&g.press, g.withOption, g.withShift);
    }
    control->mouseTrack(&local, g.withOption, g.withShift);
    self->readout.changed(control);
}

OSStatus QuibMan::QuibControlHandler(EventHandlerCallRef, EventRef event, void* manager) {
    const UInt32 kind = GetEventKind(event);
    ControlRef ref = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof ref, nullptr, &ref);
    WindowRef window = GetControlOwner(ref);
    auto* self = static_cast<QuibMan*>(manager);
    QuibCtrl* control = self && ref ? self->getCtrlByControlRef(ref) : nullptr;
    OSStatus result = eventNotHandledErr;
    if (!control) return result;
    if (GetEventClass(event) == kEventClassMouse) {
        SInt32 notches = 0;
        GetEventParameter(event, kEventParamMouseWheelDelta, typeSInt32, nullptr, sizeof notches, nullptr, &notches);
        self->wheel(control, int(notches), (GetCurrentEventKeyModifiers() & shiftKey) != 0);
        return noErr;
    }
    switch (kind) {
        case kEventControlDraw:
            if (control->mustUpdate()) self->drawControl(control, window);
            result = noErr;
            break;
        case kEventControlClick:
        case kEventControlTrack: result = self->click(control, ref, window); break;
        default: break;
    }
    if (result != noErr) PlatformLog("Ctrl: %d Event: %d\n", int(control->getID()), int(kind));
    return result;
}
