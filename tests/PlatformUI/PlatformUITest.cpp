// The editor-side platform in offscreen windows: drawing lands where Quartz
// coordinates say, control events and values, event-driven mouse tracking.
#include <gtest/gtest.h>

#include <cairo.h>

#include <filesystem>
#include <string>
#include <vector>

#include "PlatformUI/CarbonEvents.h"
#include "PlatformUI/Controls.h"
#include "PlatformUI/Quartz.h"
#include "PlatformUI/QuickDraw.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"

namespace {

constexpr UInt32 kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF;

ControlRef directObject(EventRef event) {
    ControlRef control = nullptr;
    GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
    return control;
}

ToolboxObjectClassRef registerClass(const char* id, EventHandlerUPP handler, void* user) {
    const EventTypeSpec events[] = {{kEventClassControl, kEventControlDraw},
                                    {kEventClassControl, kEventControlHit},
                                    {kEventClassControl, kEventControlTrack},
                                    {kEventClassControl, kEventControlClick}};
    ToolboxObjectClassRef cls = nullptr;
    EXPECT_EQ(RegisterToolboxObjectClass(CFSTR_(id), nullptr, 4, events, handler, user, &cls), noErr);
    return cls;
}

ControlRef newControl(WindowRef window, ToolboxObjectClassRef cls, Rect bounds) {
    ControlDefSpec definition{kControlDefObjectClass, {}};
    definition.u.classRef = cls;
    ControlRef c = nullptr;
    EXPECT_EQ(CreateCustomControl(window, &bounds, &definition, nullptr, &c), noErr);
    return c;
}

// A 20 x 30 picture: blue on top, green below.
std::string writeTwoRowPicture() {
    const std::string path = (std::filesystem::temp_directory_path() / "velmora-two-rows.png").string();
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 20, 30);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0, 0, 1);
    cairo_rectangle(cr, 0, 0, 20, 15);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 1, 0);
    cairo_rectangle(cr, 0, 15, 20, 15);
    cairo_fill(cr);
    cairo_destroy(cr);
    cairo_surface_write_to_png(s, path.c_str());
    cairo_surface_destroy(s);
    return path;
}

struct Painter {
    CGImageRef picture = nullptr;
    ControlRef hole = nullptr;
    int draws = 0;
    CGFloat textAdvance = 0;
};

// Draws as the toolkit does: a clip recorded from framed rectangles, then
// red over everything, and the picture into the right half.
OSStatus paint(EventHandlerCallRef, EventRef event, void* user) {
    auto* p = static_cast<Painter*>(user);
    ControlRef control = directObject(event);
    if (GetEventKind(event) != kEventControlDraw || control == p->hole) return eventNotHandledErr;
    ++p->draws;
    CGrafPtr port = GetWindowPort(GetControlOwner(control));
    Rect portBounds, bounds, holeBounds;
    GetPortBounds(port, &portBounds);
    GetControlBounds(control, &bounds);
    GetControlBounds(p->hole, &holeBounds);
    RgnHandle region = NewRgn();
    OpenRgn();
    FrameRect(&bounds);
    FrameRect(&holeBounds);
    CloseRgn(region);
    CGContextRef c = nullptr;
    QDBeginCGContext(port, &c);
    ClipCGContextToRegion(c, &portBounds, region);
    CGContextSaveGState(c);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 20, 10));  // the bottom-left corner in Quartz space
    CGContextDrawImage(c, CGRectMake(20, 0, 20, 30), p->picture);
    CGContextSelectFont(c, "Monaco", 10, kCGEncodingMacRoman);
    CGContextSetTextDrawingMode(c, kCGTextInvisible);
    CGContextShowTextAtPoint(c, 0, 0, "12.5 dB", 7);
    p->textAdvance = CGContextGetTextPosition(c).x;
    CGContextRestoreGState(c);
    QDEndCGContext(port, &c);
    DisposeRgn(region);
    return noErr;
}

}  // namespace

TEST(Drawing, QuartzSpaceIsBottomUpPicturesUprightFramedChildrenAreHoles) {
    WindowRef window = nullptr;
    ASSERT_EQ(CreateOffscreenWindow(40, 30, 1.0, &window), noErr);
    Painter painter;
    CGDataProviderRef provider = CGDataProviderCreateWithURL(CFSTR_(writeTwoRowPicture().c_str()));
    painter.picture = CGImageCreateWithPNGDataProvider(provider, nullptr, false, kCGRenderingIntentDefault);
    CGDataProviderRelease(provider);
    ASSERT_NE(painter.picture, nullptr);
    EXPECT_EQ(CGImageGetWidth(painter.picture), 20u);

    ToolboxObjectClassRef cls = registerClass("test.drawing", paint, &painter);
    ControlRef whole = newControl(window, cls, {0, 0, 30, 40});
    painter.hole = newControl(window, cls, {22, 2, 28, 6});  // top, left, bottom, right
    EmbedControl(painter.hole, whole);
    UpdateWindow(window);

    EXPECT_EQ(painter.draws, 1);
    EXPECT_EQ(GetWindowPixel(window, 15, 25), kRed);  // Quartz y 0..10 is the window's bottom rows
    EXPECT_NE(GetWindowPixel(window, 15, 15), kRed);
    EXPECT_NE(GetWindowPixel(window, 3, 24), kRed);   // inside the framed child
    EXPECT_EQ(GetWindowPixel(window, 30, 3), kBlue);  // the picture's top row on top
    EXPECT_EQ(GetWindowPixel(window, 30, 27), kGreen);
    EXPECT_GT(painter.textAdvance, 30.0);  // seven monospace glyphs at 10 points

    // An update pass draws only what is invalid and visible.
    UpdateWindow(window);
    EXPECT_EQ(painter.draws, 1);
    HideControl(whole);
    UpdateWindow(window);
    EXPECT_EQ(painter.draws, 1);
    ShowControl(whole);
    UpdateWindow(window);
    EXPECT_EQ(painter.draws, 2);

    DisposeWindow(window);
    CGImageRelease(painter.picture);
}

namespace {

struct Recorder {
    std::vector<std::string> calls;
    WindowRef window = nullptr;
    UInt32 pressModifiers = 0;
    Point origin{};
};

std::string describe(const char* what, Point global, const Recorder& r) {
    return std::string(what) + " " + std::to_string(global.h - r.origin.h) + "," +
           std::to_string(global.v - r.origin.v) + (GetCurrentEventKeyModifiers() & shiftKey ? " shift" : "");
}

void track(MouseTrackingResult result, Point global, void* user) {
    auto* r = static_cast<Recorder*>(user);
    r->calls.push_back(describe(result == kMouseTrackingMouseUp ? "up" : "track", global, *r));
}

// Takes the click as the toolkit does and tracks the rest of the gesture by events.
OSStatus takeClicks(EventHandlerCallRef, EventRef event, void* user) {
    auto* r = static_cast<Recorder*>(user);
    const UInt32 kind = GetEventKind(event);
    if (kind == kEventControlDraw) return noErr;
    if (kind != kEventControlClick) {
        r->calls.push_back("class " + std::to_string(kind));
        return eventNotHandledErr;
    }
    Rect b;
    GetControlBounds(directObject(event), &b);
    r->origin = {b.top, b.left};
    Point global;
    GetGlobalMouse(&global);
    r->calls.push_back(describe("down", global, *r));
    TrackMouseLocationWithProc(r->window, track, r);
    return noErr;
}

OSStatus recordOwnEvents(EventHandlerCallRef, EventRef event, void* user) {
    static_cast<Recorder*>(user)->calls.push_back("own " + std::to_string(GetEventKind(event)));
    return eventNotHandledErr;
}

void countFires(EventLoopTimerRef, void* user) { ++*static_cast<int*>(user); }

}  // namespace

TEST(Controls, ClassesValuesAndEventDrivenTracking) {
    WindowRef window = nullptr;
    ASSERT_EQ(CreateOffscreenWindow(100, 60, 1.0, &window), noErr);
    Recorder r;
    r.window = window;
    ToolboxObjectClassRef cls = registerClass("test.tracking", takeClicks, &r);
    ToolboxObjectClassRef again = nullptr;
    EXPECT_EQ(RegisterToolboxObjectClass(CFSTR("test.tracking"), nullptr, 0, nullptr, takeClicks, &r, &again),
              errAlreadyRegistered);

    ControlRef knob = newControl(window, cls, {10, 20, 30, 50});
    const EventTypeSpec own[] = {{kEventClassControl, kEventControlValueFieldChanged},
                                 {kEventClassControl, kEventControlHit},
                                 {kEventClassControl, kEventControlClick}};
    EventHandlerRef handler = nullptr;
    InstallEventHandler(GetControlEventTarget(knob), recordOwnEvents, 3, own, &r, &handler);

    // Values are pinned to the range; only a change is announced.
    SetControl32BitMaximum(knob, 100);
    SetControl32BitValue(knob, 250);
    EXPECT_EQ(GetControl32BitValue(knob), 100);
    SetControl32BitValue(knob, 100);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"own 151"}));
    r.calls.clear();

    // A press released where it was: one down, one up, then hit to the control's own handler only.
    SendWindowMouse(window, WindowMouse::press, 25, 12, shiftKey, 1.0);
    SendWindowMouse(window, WindowMouse::release, 25, 12, 0, 1.1);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"own 13", "down 5,2 shift", "up 5,2 shift", "own 1"}));
    r.calls.clear();

    // A drag out of the control keeps the press's modifiers and control-local points;
    // no timer fires while the button is down.
    int fires = 0;
    EventLoopTimerRef timer = nullptr;
    InstallEventLoopTimer(GetCurrentEventLoop(), 0, 0.01, countFires, &fires, &timer);
    SendWindowMouse(window, WindowMouse::press, 21, 11, shiftKey, 2.0);
    SendWindowMouse(window, WindowMouse::motion, 5, 40, cmdKey, 2.1);
    RunLoopRunFor(CFRunLoopGetCurrent(), 0.05);
    EXPECT_EQ(fires, 0);
    SendWindowMouse(window, WindowMouse::release, 90, 50, 0, 2.2);
    EXPECT_EQ(r.calls,
              (std::vector<std::string>{"own 13", "down 1,1 shift", "track -15,30 shift", "up 70,40 shift", "own 1"}));
    RunLoopRunFor(CFRunLoopGetCurrent(), 0.05);
    EXPECT_GT(fires, 0);
    RemoveEventLoopTimer(timer);

    // Removing a handler of a control that is gone is safe.
    DisposeControl(knob);
    EXPECT_EQ(RemoveEventHandler(handler), noErr);
    DisposeWindow(window);
}
