// The records behind the editor-side references that every backend shares
// (handlers, targets, control classes, controls, ports, regions, events, the
// window's controls and gesture, run loops), and what the shared code asks of
// the backend that draws and shows windows: cairo and X11 (CairoX11Private.h),
// or a browser's canvas (src/PlatformWeb). Shared by the stand-ins'
// implementation files only.
#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

// The backend's side of a window: its backing image, what is to be drawn and
// shown, the overlay, and the screen it shows on. Made and freed by the backend.
// What a Quartz context keeps beside its drawing surface, alike in every
// backend: the graphics state that Save/RestoreGState keep, and the text position.
struct QuartzState {
    struct Graphics {
        double alpha = 1.0;
        double fill[4] = {0, 0, 0, 1};
        std::string font = "DejaVu Sans Mono";
        double fontSize = 12.0;
        CGTextDrawingMode textMode = kCGTextFill;
    };
    Graphics current;
    std::vector<Graphics> saved;
    CGPoint textPosition{0, 0};

    void save() { saved.push_back(current); }
    // False when nothing was saved: an unbalanced restore changes nothing.
    bool restore() {
        if (saved.empty()) return false;
        current = saved.back();
        saved.pop_back();
        return true;
    }
};

struct WindowBackend;

struct OpaqueWindowPtr {
    SInt16 width, height;  // unscaled
    double scale;
    OpaqueControlRef root;
    OpaqueEventTargetRef target;
    OpaqueGrafPort port;
    WindowBackend* backend = nullptr;
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

// How a run loop's thread waits between passes and is woken from other
// threads: the backend's (a poll on the X connections, or the browser's
// animation frames, which need no waking).
struct LoopWaiter;

struct OpaqueEventLoopTimerRef {
    CFRunLoopRef loop;
    Clock::time_point due;
    Clock::duration interval;
    EventLoopTimerUPP proc;
    void* userData;
};

struct __CFRunLoop {
    __CFRunLoop();
    ~__CFRunLoop();
    std::thread::id thread = std::this_thread::get_id();
    std::vector<WindowRef> windows;
    std::vector<EventLoopTimerRef> timers;
    std::atomic<bool> quit{false};
    LoopWaiter* waiter;

    struct Work {
        Clock::time_point when;
        std::function<void()> work;
    };
    std::mutex lock;  // guards `posted` only: the one thing other threads touch
    std::vector<Work> posted;

    bool buttonHeld() const;
    // When the next timer or posted work is due (at most a second from now).
    Clock::time_point nextDeadline(Clock::time_point now);
};

namespace platform_ui {

// The context's state, kept by each backend's CGContext.
QuartzState& quartzState(CGContextRef c);
// Our texts are Mac Roman, ASCII in practice; any other byte is taken as Latin-1, so the result is valid UTF-8.
std::string textToUTF8(const char* text, size_t length);

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

ControlRef hitControl(WindowRef window, int x, int y);
// The visible controls from `top` down, back to front (a container before what it embeds).
std::vector<ControlRef> drawingOrder(ControlRef top);
void disposeControlTree(ControlRef control);

// The shared fields of a new window (its root control, port and run loop);
// attachWindow puts it on the loop once the backend has made its side.
void initWindow(WindowRef window, SInt16 width, SInt16 height, double scale);
// A length in unscaled pixels on screen: its scaled size, rounded up.
int scaledPixels(double length, double scale);
// A pointer position on screen, back in unscaled window pixels (every host maps it alike).
int unscaledPixels(double pixels, double scale);

// Run loops: the windows they drive, and one-shot calls at a time (never
// suspended, unlike event-loop timers during a drag).
void attachWindow(CFRunLoopRef loop, WindowRef window);
void detachWindow(CFRunLoopRef loop, WindowRef window);
void performAt(CFRunLoopRef loop, Clock::time_point when, std::function<void()> work);
bool isLoopThread(CFRunLoopRef loop);

// What each backend provides.
// To be drawn at the window's next update pass (unscaled window pixels).
void invalidateRect(WindowRef window, const Rect& r);
// Drawn into the backing image, to be copied to the screen.
void markShown(WindowRef window, const Rect& r);
// Copies what was drawn and not yet shown to the screen, with the overlay over it.
void copyToScreen(WindowRef window);
// Input that waits for the window (the X connection's events); at every pass.
void processWindowInput(WindowRef window);
LoopWaiter* newLoopWaiter();
void deleteLoopWaiter(LoopWaiter* waiter);
void wakeLoop(LoopWaiter* waiter);  // any thread
void clearLoopWakes(LoopWaiter* waiter);

}  // namespace platform_ui
