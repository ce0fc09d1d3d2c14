// QuibReadout: what the box says, where it goes, and when it comes and goes.
#include "Quib/QuibReadout.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "Quib/Quib.h"
#include "Quib/QuibControl.h"
#include "Quib/QuibDisplay.h"

namespace {

// The box: two lines of 10-point "Monaco" (6.02 px a character), 5 px inside.
constexpr double kFontSize = 10.0;
constexpr double kCharWidth = 6.02;
constexpr int kPadding = 5;
constexpr int kHeight = 32;
constexpr int kGap = 4;  // from the control

QuibDisplay* displayOf(QuibCtrl* controls, AudioUnitParameterID id) {
    for (QuibCtrl* c = controls; c; c = static_cast<QuibCtrl*>(c->getNext())) {
        if (c->getType() == kQuib_Display && c->isAUVPattached() && c->getAUVP().mParameterID == id)
            return static_cast<QuibDisplay*>(c);
        if (QuibDisplay* inner = displayOf(c->getChildren(), id)) return inner;
    }
    return nullptr;
}

SInt32 valueOf(QuibCtrl* c) { return c->getCarbonControl() ? GetControl32BitValue(c->getCarbonControl()) : 0; }

}  // namespace

QuibReadout::QuibReadout(QuibMan* chief) : Chief(chief) {}

QuibReadout::~QuibReadout() {
    forget();
    if (timer) RemoveEventLoopTimer(timer);
    if (handler) RemoveEventHandler(handler);
}

void QuibReadout::install(WindowRef w) {
    if (!w || window) return;
    window = w;
    static const EventTypeSpec events[] = {{kEventClassMouse, kEventMouseMoved},
                                           {kEventClassMouse, kEventMouseExited},
                                           {kEventClassControl, kEventControlClick}};
    InstallEventHandler(GetWindowEventTarget(window), MouseHandler, 3, events, this, &handler);
    InstallEventLoopTimer(GetCurrentEventLoop(), kEventDurationForever, 0, TimerProc, this, &timer);
}

bool QuibReadout::shows(QuibCtrl* control) {
    return control && control->isAUVPattached() && control->getCarbonControl();
}

std::string QuibReadout::valueText(QuibCtrl* control) {
    char text[64] = {};
    QuibDisplay* display = control->getType() == kQuib_Display
                               ? static_cast<QuibDisplay*>(control)
                               : displayOf(Chief->getControls(), control->getAUVP().mParameterID);
    if (display)
        display->makeText(UInt32(valueOf(display)), text);
    else if (control->getType() == kQuib_Knob)
        std::snprintf(text, sizeof text, "%.2f", double(control->getAUVP().GetValue()));
    else
        QuibDisplay::describe(control->getAUVP(), UInt32(valueOf(control)), text);
    return text;
}

int QuibReadout::widthFor(QuibCtrl* control) {
    if (auto found = widths.find(control); found != widths.end()) return found->second;
    // Wide enough for the name and for the texts of the ends of the range, so
    // that the box keeps its size while the value moves.
    const AudioUnitParameterInfo& info = control->getAUVP().ParamInfo();
    size_t columns = std::max(std::strlen(info.name), valueText(control).size());
    QuibDisplay* display = control->getType() == kQuib_Display
                               ? static_cast<QuibDisplay*>(control)
                               : displayOf(Chief->getControls(), control->getAUVP().mParameterID);
    char text[64];
    if (display) {
        const SInt32 maximum = GetControl32BitMaximum(display->getCarbonControl());
        const SInt32 stride = maximum <= 256 ? 1 : maximum;  // every named value; the ends of a long range
        for (SInt32 v = 0; v <= maximum; v += stride) {
            display->makeText(UInt32(v), text);
            columns = std::max(columns, std::strlen(text));
        }
    } else {
        for (float v : {info.minValue, info.maxValue, info.defaultValue}) {
            std::snprintf(text, sizeof text, "%.2f", double(v));
            columns = std::max(columns, std::strlen(text));
        }
    }
    const int width = int(std::ceil(double(columns) * kCharWidth)) + 2 * kPadding;
    widths[control] = width;
    return width;
}

Rect QuibReadout::placeFor(QuibCtrl* control) {
    Rect bounds{}, port{};
    control->getBounds(&bounds);
    GetWindowBounds(window, kWindowContentRgn, &port);
    const int width = widthFor(control), right = port.right - port.left, bottom = port.bottom - port.top;
    int x = bounds.right + kGap;
    if (x + width > right) x = bounds.left - kGap - width;
    int y = (bounds.top + bounds.bottom) / 2 - kHeight / 2;
    x = std::clamp(x, 0, std::max(0, right - width));
    y = std::clamp(y, 0, std::max(0, bottom - kHeight));
    return {SInt16(y), SInt16(x), SInt16(y + kHeight), SInt16(x + width)};
}

void QuibReadout::show(QuibCtrl* control) {
    const std::string text = valueText(control);
    if (control == shown && text == shownText) return;
    const Rect r = placeFor(control);
    CGContextRef c = nullptr;
    if (BeginWindowOverlay(window, r, &c) != noErr) return;
    const CGFloat w = r.right - r.left, h = r.bottom - r.top;
    CGContextSetRGBFillColor(c, 0.45, 0.5, 0.52, 1.0);  // a one-pixel frame
    CGContextFillRect(c, CGRectMake(0, 0, w, h));
    CGContextSetRGBFillColor(c, 0.06, 0.07, 0.08, 1.0);
    CGContextFillRect(c, CGRectMake(1, 1, w - 2, h - 2));
    CGContextSelectFont(c, "Monaco", kFontSize, kCGEncodingMacRoman);
    const char* name = control->getAUVP().ParamInfo().name;
    CGContextSetRGBFillColor(c, 0.78, 0.8, 0.82, 1.0);
    CGContextShowTextAtPoint(c, kPadding, h - kPadding - 9, name, std::strlen(name));
    CGContextSetRGBFillColor(c, 0.7, 1.0, 0.8, 1.0);  // the displays' colour
    CGContextShowTextAtPoint(c, kPadding, kPadding + 1, text.c_str(), text.size());
    EndWindowOverlay(window, &c);
    shown = control;
    shownText = text;
}

void QuibReadout::hide() {
    if (shown) HideWindowOverlay(window);
    shown = nullptr;
    shownText.clear();
}

void QuibReadout::schedule(Pending what, EventTimerInterval seconds) {
    pending = what;
    if (timer && what != Pending::nothing) SetEventLoopTimerNextFireTime(timer, seconds);
}

void QuibReadout::pressed(QuibCtrl* control) {
    held = true;
    schedule(Pending::nothing, 0);
    if (shows(control))
        show(control);
    else
        hide();
}

void QuibReadout::changed(QuibCtrl* control) {
    if (!window || !shows(control)) return;
    show(control);
    if (!held && hovered != control) schedule(Pending::conceal, kLingerSeconds);  // a wheel notch
}

void QuibReadout::released(bool pointerOnControl) {
    held = false;
    hovered = pointerOnControl ? shown : nullptr;
    if (shown && !pointerOnControl) schedule(Pending::conceal, kLingerSeconds);
}

void QuibReadout::forget() {
    if (window) hide();
    schedule(Pending::nothing, 0);
    hovered = nullptr;
    held = false;
    widths.clear();
}

void QuibReadout::pointerOver(QuibCtrl* control) {
    if (held || control == hovered) return;
    hovered = control;
    if (control && control == shown)
        schedule(Pending::nothing, 0);
    else if (control)
        schedule(Pending::reveal, kRestSeconds);
    else if (shown)
        schedule(Pending::conceal, kLingerSeconds);
    else
        schedule(Pending::nothing, 0);
}

OSStatus QuibReadout::MouseHandler(EventHandlerCallRef, EventRef event, void* user) {
    auto* self = static_cast<QuibReadout*>(user);
    ControlRef ref = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof ref, nullptr, &ref);
    QuibCtrl* control = ref ? self->Chief->getCtrlByControlRef(ref) : nullptr;
    if (GetEventClass(event) == kEventClassControl) {
        // A press that no control of ours took: on the background, say.
        self->schedule(Pending::nothing, 0);
        self->hide();
    } else {
        self->pointerOver(shows(control) ? control : nullptr);
    }
    return eventNotHandledErr;  // others may follow the pointer too
}

void QuibReadout::TimerProc(EventLoopTimerRef, void* user) {
    auto* self = static_cast<QuibReadout*>(user);
    const Pending what = self->pending;
    self->pending = Pending::nothing;
    if (self->held) return;
    if (what == Pending::reveal && self->hovered)
        self->show(self->hovered);
    else if (what == Pending::conceal && self->hovered != self->shown)
        self->hide();
}
