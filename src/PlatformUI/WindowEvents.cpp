// Windows, what every backend shares: sizes and scale, the mouse gesture and
// the wheel dispatched to controls, keys, and closing.
#include <cmath>

#include "PlatformUI/CarbonEvents.h"
#include "PlatformUI/PlatformUIPrivate.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"

namespace platform_ui {

int scaledPixels(double length, double scale) { return int(std::ceil(length * scale)); }
int unscaledPixels(double pixels, double scale) { return int(std::floor(pixels / scale)); }

void initWindow(WindowRef w, SInt16 width, SInt16 height, double scale) {
    w->width = width;
    w->height = height;
    w->scale = scale > 0 ? scale : 1.0;
    w->root.window = w;
    w->root.bounds = {0, 0, height, width};
    w->port.window = w;
    w->loop = CFRunLoopGetCurrent();
}

}  // namespace platform_ui

OSStatus GetWindowBounds(WindowRef window, WindowRegionCode, Rect* globalBounds) {
    if (!window || !globalBounds) return paramErr;
    *globalBounds = {0, 0, window->height, window->width};
    return noErr;
}

OSStatus GetWindowAttributes(WindowRef window, WindowAttributes* outAttributes) {
    if (!window || !outAttributes) return paramErr;
    *outAttributes = 0;  // never compositing
    return noErr;
}

OSStatus ClearKeyboardFocus(WindowRef window) { return window ? noErr : paramErr; }

double NearestWindowScale(double requested) {
    if (!(requested < 1.25)) return requested < 1.75 ? 1.5 : 2.0;  // NaN and infinities: 2
    return 1.0;
}

void GetWindowPixelSize(WindowRef window, int* width, int* height) {
    if (!window) return;
    if (width) *width = platform_ui::scaledPixels(window->width, window->scale);
    if (height) *height = platform_ui::scaledPixels(window->height, window->scale);
}

double GetWindowScale(WindowRef window) { return window ? window->scale : 1.0; }
bool IsWindowCloseRequested(WindowRef window) { return window && window->closeRequested; }

void SendWindowMouse(WindowRef window, WindowMouse what, int x, int y, UInt32 modifiers, EventTime time) {
    if (!window) return;
    platform_ui::InputState& input = platform_ui::currentInput();
    input.mouse = {SInt16(y), SInt16(x)};
    switch (what) {
        case WindowMouse::press: {
            if (window->buttonDown) return;
            input.modifiers = modifiers;  // modifiers and time stamp held for the whole gesture
            input.time = time;
            window->buttonDown = true;
            window->trackProc = nullptr;
            window->pressed = platform_ui::hitControl(window, x, y);
            window->pressTaken =
                platform_ui::dispatchControlEvent(window->pressed, kEventControlClick) != eventNotHandledErr;
            break;
        }
        case WindowMouse::motion:
            if (window->buttonDown) {
                if (window->trackProc)
                    window->trackProc(kMouseTrackingMouseDragged, input.mouse, window->trackUserData);
            } else {
                input.modifiers = modifiers;
                input.time = time;
                ControlRef c = platform_ui::hitControl(window, x, y);
                OpaqueEventRef event{kEventClassMouse, kEventMouseMoved, c, window};
                platform_ui::dispatchControlEvent(c, event, false);
            }
            break;
        case WindowMouse::exit: {
            if (window->buttonDown) break;  // the gesture goes on outside; its release still comes
            input.time = time;
            OpaqueEventRef event{kEventClassMouse, kEventMouseExited, nullptr, window};
            platform_ui::dispatchToTarget(&window->target, &event);
            break;
        }
        case WindowMouse::release: {
            if (!window->buttonDown) return;
            if (window->trackProc) window->trackProc(kMouseTrackingMouseUp, input.mouse, window->trackUserData);
            // A handler may have disposed of the control meanwhile; disposal clears `pressed`.
            if (ControlRef c = window->pressed) {
                const Rect& b = c->bounds;
                if (window->pressTaken)
                    platform_ui::dispatchControlEvent(c, kEventControlHit, true);
                else if (x >= b.left && x < b.right && y >= b.top && y < b.bottom)
                    platform_ui::dispatchControlEvent(c, kEventControlHit);
            }
            window->buttonDown = false;
            window->pressed = nullptr;
            window->trackProc = nullptr;
            break;
        }
    }
}

bool SendWindowWheel(WindowRef window, int x, int y, int notches, UInt32 modifiers) {
    if (!window || window->buttonDown) return false;
    platform_ui::InputState& input = platform_ui::currentInput();
    input.mouse = {SInt16(y), SInt16(x)};
    input.modifiers = modifiers;
    ControlRef c = platform_ui::hitControl(window, x, y);
    OpaqueEventRef event{kEventClassMouse, kEventMouseWheelMoved, c, window, notches};
    return platform_ui::dispatchControlEvent(c, event, false) != eventNotHandledErr;
}

void SendWindowCloseRequest(WindowRef window) {
    if (!window || window->closeRequested) return;
    window->closeRequested = true;
    SendWindowEvent(window, kEventClassWindow, kEventWindowClosed);
}

void SendWindowKey(WindowRef window, const WindowKeyEvent& event) {
    if (!window) return;
    if (window->keyProc && event.kind != WindowKeyEvent::focusLost)
        window->keyProc(window, event.keysym, event.kind == WindowKeyEvent::press, event.modifiers,
                        window->keyUserData);
    if (window->keyEventProc) window->keyEventProc(window, event, window->keyEventUserData);
}

void SetWindowKeyHandler(WindowRef window, WindowKeyProc proc, void* userData) {
    if (!window) return;
    window->keyProc = proc;
    window->keyUserData = userData;
}

void SetWindowKeyEventHandler(WindowRef window, WindowKeyEventProc proc, void* userData) {
    if (!window) return;
    window->keyEventProc = proc;
    window->keyEventUserData = userData;
}

OSStatus TrackMouseLocationWithProc(WindowRef window, MouseTrackingProc proc, void* userData) {
    if (!window || !proc || !window->buttonDown) return paramErr;
    window->trackProc = proc;
    window->trackUserData = userData;
    return noErr;
}
