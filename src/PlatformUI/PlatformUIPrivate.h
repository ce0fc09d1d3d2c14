// The records behind the editor-side references, shared by the stand-ins'
// implementation files only.
#pragma once
#include <cairo.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "PlatformUI/CarbonTypes.h"
#include "PlatformUI/Quartz.h"
#include "PlatformUI/Windows.h"

using Clock = std::chrono::steady_clock;

struct OpaqueEventHandlerRef {
    EventTargetRef target;  // null once the target is gone; RemoveEventHandler still frees it
    EventHandlerUPP proc;
    void* userData;
    std::vector<EventTypeSpec> types;
    bool wants(UInt32 eventClass, UInt32 kind) const;
};

struct OpaqueEventTargetRef {
    std::vector<EventHandlerRef> handlers;  // newest first
    ~OpaqueEventTargetRef();
};

struct OpaqueToolboxObjectClassRef {
    std::string identifier;
    OpaqueEventTargetRef target;  // the class handler, owned: nothing removes it
    ~OpaqueToolboxObjectClassRef() {
        for (EventHandlerRef h : target.handlers) delete h;
        target.handlers.clear();
    }
};

struct OpaqueControlRef {
    WindowRef window = nullptr;
    ControlRef container = nullptr;
    std::vector<ControlRef> embedded;  // back to front
    Rect bounds{};
    SInt32 value = 0, minimum = 0, maximum = 0;
    SRefCon reference = nullptr;
    bool visible = true;
    ToolboxObjectClassRef controlClass = nullptr;
    OpaqueEventTargetRef target;
};

struct OpaqueGrafPort {
    WindowRef window;
    std::vector<Rect> clip;
};

struct OpaqueRgnHandle {
    std::vector<Rect> rects;  // combined by even-odd
};

struct OpaqueEventRef {
    UInt32 eventClass;
    UInt32 kind;
    ControlRef control;
    WindowRef window;
    SInt32 wheelDelta = 0;
};

struct XConnection;  // X display and window, when the window has one

struct OpaqueWindowPtr {
    SInt16 width, height;  // unscaled
    double scale;
    OpaqueControlRef root;
    OpaqueEventTargetRef target;
    OpaqueGrafPort port;
    cairo_surface_t* backing = nullptr;
    cairo_region_t* invalid = nullptr;         // to be drawn at the next update pass (unscaled)
    cairo_region_t* unshown = nullptr;         // drawn but not yet copied to X (unscaled)
    cairo_surface_t* overlay = nullptr;        // composed over the backing image on screen only
    Rect overlayBounds{};                      // unscaled
    const cairo_region_t* passClip = nullptr;  // while an update pass draws
    std::unique_ptr<XConnection> x;
    CFRunLoopRef loop = nullptr;
    bool closeRequested = false;
    WindowKeyProc keyProc = nullptr;
    void* keyUserData = nullptr;
    WindowKeyEventProc keyEventProc = nullptr;
    void* keyEventUserData = nullptr;

    // The gesture of the button that is down.
    bool buttonDown = false;
    ControlRef pressed = nullptr;
    bool pressTaken = false;  // a handler took the click and tracks by itself
    MouseTrackingProc trackProc = nullptr;
    void* trackUserData = nullptr;
};

namespace platform_ui {

// The input event being handled, for GetCurrentEventKeyModifiers and GetGlobalMouse.
struct InputState {
    UInt32 modifiers = 0;
    Point mouse{};
    EventTime time = 0;
};
InputState& currentInput();

// Sends an event to the control's handlers, then its class's, then its
// containers' and the window's; with controlOnly, to the control's own only.
OSStatus dispatchControlEvent(ControlRef control, UInt32 kind, bool controlOnly = false);
OSStatus dispatchControlEvent(ControlRef control, OpaqueEventRef& event, bool controlOnly);
OSStatus dispatchToTarget(EventTargetRef target, EventRef event);

void invalidateRect(WindowRef window, const Rect& r);
// A Quartz context over a cairo surface of `height` unscaled pixels, clipped to
// `clip` (unscaled) when it is given; QDEndCGContext frees it.
CGContextRef newCGContext(cairo_surface_t* surface, double height, double scale, const cairo_region_t* clip = nullptr);
// Clips `cr` to a region of unscaled window pixels; its matrix stays as it was.
void clipToRegion(cairo_t* cr, const cairo_region_t* region, double scale);
void markShown(WindowRef window, const Rect& r);
ControlRef hitControl(WindowRef window, int x, int y);
// The visible controls from `top` down, back to front (a container before what it embeds).
std::vector<ControlRef> drawingOrder(ControlRef top);
void disposeControlTree(ControlRef control);

// X side of a window: events in, damaged areas out.
int windowFd(WindowRef window);  // -1 for offscreen
void processXEvents(WindowRef window);
void copyToX(WindowRef window);
void destroyX(WindowRef window);

// Run loops: the windows they drive, and one-shot calls at a time (never
// suspended, unlike event-loop timers during a drag).
void attachWindow(CFRunLoopRef loop, WindowRef window);
void detachWindow(CFRunLoopRef loop, WindowRef window);
void performAt(CFRunLoopRef loop, Clock::time_point when, std::function<void()> work);
bool isLoopThread(CFRunLoopRef loop);

}  // namespace platform_ui
