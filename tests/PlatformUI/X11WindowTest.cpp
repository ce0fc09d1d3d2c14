// A real X11 window: what controls draw reaches the screen, pointer input
// from the X server arrives at the control under it, and the window manager's
// close request is heard. Run under Xvfb by the build.
#include <gtest/gtest.h>
// After gtest: Xlib defines macros (None, Bool) that gtest's names would meet.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <cstdlib>

#include "../support/WindowManager.h"
#include "PlatformUI/CarbonEvents.h"
#include "PlatformUI/Controls.h"
#include "PlatformUI/Quartz.h"
#include "PlatformUI/QuickDraw.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"

namespace {

struct Seen {
    int clicks = 0;
    Point local{};
};

OSStatus redControl(EventHandlerCallRef, EventRef event, void* user) {
    ControlRef control = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
    Rect b;
    GetControlBounds(control, &b);
    if (GetEventKind(event) == kEventControlClick) {
        auto* seen = static_cast<Seen*>(user);
        Point global;
        GetGlobalMouse(&global);
        seen->local = {SInt16(global.v - b.top), SInt16(global.h - b.left)};
        ++seen->clicks;
        return noErr;
    }
    CGrafPtr port = GetWindowPort(GetControlOwner(control));
    Rect portBounds;
    GetPortBounds(port, &portBounds);
    CGContextRef c = nullptr;
    QDBeginCGContext(port, &c);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(b.left, portBounds.bottom - b.bottom, b.right - b.left, b.bottom - b.top));
    QDEndCGContext(port, &c);
    return noErr;
}

}  // namespace

TEST(X11Window, ShowsWhatControlsDrawAndDeliversThePointer) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
    WindowRef window = nullptr;
    ASSERT_EQ(CreateX11Window("Velmora test", 120, 80, 2.0, &window), noErr);
    Seen seen;
    const EventTypeSpec events[] = {{kEventClassControl, kEventControlDraw}, {kEventClassControl, kEventControlClick}};
    ToolboxObjectClassRef cls = nullptr;
    ASSERT_EQ(RegisterToolboxObjectClass(CFSTR("test.x11"), nullptr, 2, events, redControl, &seen, &cls), noErr);
    ControlDefSpec definition{kControlDefObjectClass, {}};
    definition.u.classRef = cls;
    const Rect bounds{20, 40, 60, 100};
    ControlRef control = nullptr;
    ASSERT_EQ(CreateCustomControl(window, &bounds, &definition, nullptr, &control), noErr);
    RunLoopRunFor(CFRunLoopGetCurrent(), 0.3);

    Display* d = XOpenDisplay(nullptr);
    ASSERT_NE(d, nullptr);
    const Window xid = GetWindowXID(window);
    XImage* pixel = XGetImage(d, xid, 2 * 50, 2 * 30, 1, 1, AllPlanes, ZPixmap);
    ASSERT_NE(pixel, nullptr);
    EXPECT_EQ(XGetPixel(pixel, 0, 0) & 0xFFFFFF, 0xFF0000u);
    XDestroyImage(pixel);

    // A click at (45, 25) in unscaled window pixels, through the X server.
    int rootX = 0, rootY = 0;
    Window child;
    XTranslateCoordinates(d, xid, DefaultRootWindow(d), 2 * 45, 2 * 25, &rootX, &rootY, &child);
    XTestFakeMotionEvent(d, -1, rootX, rootY, 0);
    XTestFakeButtonEvent(d, 1, True, 0);
    XTestFakeButtonEvent(d, 1, False, 0);
    XFlush(d);
    RunLoopRunFor(CFRunLoopGetCurrent(), 0.3);
    EXPECT_EQ(seen.clicks, 1);
    EXPECT_EQ(seen.local.h, 5);
    EXPECT_EQ(seen.local.v, 5);

    // The window manager's close button.
    sendCloseRequest(d, xid);
    RunLoopRunFor(CFRunLoopGetCurrent(), 0.2);
    EXPECT_TRUE(IsWindowCloseRequested(window));

    XCloseDisplay(d);
    DisposeWindow(window);
}
