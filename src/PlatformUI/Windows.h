// Windows: an X11 top-level window, an X11 child of a window that another
// program owns (how plug-in hosts embed an editor), or an offscreen window
// over a cairo image. Each draws its controls into a backing image and copies
// what changed to X, so nothing flickers. Sizes are in unscaled pixels; a
// scale factor draws everything larger and maps the pointer back.
#pragma once
#include <string>
#include <vector>

#include "PlatformUI/CarbonTypes.h"
#include "PlatformUI/Quartz.h"

OSStatus CreateOffscreenWindow(SInt16 width, SInt16 height, double scale, WindowRef* outWindow);
// Fails with errInvalidWindowRef when no X display can be opened.
OSStatus CreateX11Window(const char* title, SInt16 width, SInt16 height, double scale, WindowRef* outWindow);
OSStatus CreateX11ChildWindow(unsigned long parentWindow, SInt16 width, SInt16 height, double scale,
                              WindowRef* outWindow);
// Disposes of the window and every control in it.
void DisposeWindow(WindowRef window);

OSStatus GetWindowBounds(WindowRef window, WindowRegionCode region, Rect* globalBounds);
OSStatus GetWindowAttributes(WindowRef window, WindowAttributes* outAttributes);
OSStatus ClearKeyboardFocus(WindowRef window);
// The title in UTF-8 (WM_NAME and _NET_WM_NAME).
void SetWindowTitle(WindowRef window, const char* title);
// What a desktop shows for the window of a top-level X window: its class
// (WM_CLASS) and its icon (_NET_WM_ICON) from pictures of several sizes. Every
// top-level X window also carries _NET_WM_PID and WM_CLIENT_MACHINE.
void SetWindowClass(WindowRef window, const char* instanceName, const char* className);
void SetWindowIcon(WindowRef window, const std::vector<CGImageRef>& sizes);
// Resizes the window (and the X window) to the given unscaled size.
void SizeWindow(WindowRef window, SInt16 width, SInt16 height);
double GetWindowScale(WindowRef window);
// The window's size on screen, in the display's pixels (its unscaled size times the scale, rounded up).
void GetWindowPixelSize(WindowRef window, int* width, int* height);
// The scales windows draw at, with pictures made for each: 1, 1.5 or 2, the nearest to `requested`.
double NearestWindowScale(double requested);
// The X display's screen: its root window's size in pixels and the Xft.dpi
// resource (96 when it is not set); false when no display can be opened.
bool GetX11ScreenMetrics(int* width, int* height, double* dpi);
unsigned long GetWindowXID(WindowRef window);  // 0 for an offscreen window
// True once the person closed the window (the window-closed event was sent).
bool IsWindowCloseRequested(WindowRef window);

// Draws what is invalid into the backing image and copies it to X.
void UpdateWindow(WindowRef window);
// The backing image, as a PNG file; false when it cannot be written.
bool WriteWindowPNG(WindowRef window, const std::string& path);
// ARGB of one pixel of the backing image, in unscaled window coordinates.
UInt32 GetWindowPixel(WindowRef window, int x, int y);

// The overlay: one picture shown over the window on screen and never drawn
// into its backing image (the readout beside a control), so that it takes no
// clicks and hiding it leaves nothing behind. BeginWindowOverlay gives a Quartz
// context of the overlay's own rectangle (`bounds`, unscaled window pixels);
// EndWindowOverlay shows what was drawn, replacing any earlier overlay.
OSStatus BeginWindowOverlay(WindowRef window, const Rect& bounds, CGContextRef* outContext);
void EndWindowOverlay(WindowRef window, CGContextRef* context);
void HideWindowOverlay(WindowRef window);
// The overlay's rectangle; false when none is shown.
bool GetWindowOverlayBounds(WindowRef window, Rect* bounds);

// Input in window-local unscaled coordinates, as the X connection delivers it
// and as tests send it, with the modifiers and the event's own time stamp
// (seconds): press, motion and release of the mouse, and the pointer leaving
// the window. Motion without a button goes to the control under the pointer
// as kEventMouseMoved, the pointer leaving to the window as kEventMouseExited.
enum class WindowMouse { press, motion, release, exit };
void SendWindowMouse(WindowRef window, WindowMouse what, int x, int y, UInt32 modifiers, EventTime time);
// Mouse-wheel notches over the control under the pointer (positive: away from
// the user); true when a control took them.
bool SendWindowWheel(WindowRef window, int x, int y, int notches, UInt32 modifiers);
// Asks to close the window, as the window manager's close button does.
void SendWindowCloseRequest(WindowRef window);
// Key presses and releases of a window go here (the X keysym and the
// modifiers as GetCurrentEventKeyModifiers gives them); null removes it.
using WindowKeyProc = void (*)(WindowRef, unsigned long keysym, bool pressed, UInt32 modifiers, void* userData);
void SetWindowKeyHandler(WindowRef window, WindowKeyProc proc, void* userData);
// What a player needs from the keyboard: the X keycode (the key's place, the
// same on every layout) beside the keysym, and the loss of the keyboard focus,
// after which no release comes for keys still down. A held key repeats as
// presses without releases (XKB detectable auto-repeat). Null removes it.
struct WindowKeyEvent {
    enum Kind { press, release, focusLost } kind;
    unsigned keycode;  // 0 for focusLost
    unsigned long keysym;
    UInt32 modifiers;
};
using WindowKeyEventProc = void (*)(WindowRef, const WindowKeyEvent& event, void* userData);
void SetWindowKeyEventHandler(WindowRef window, WindowKeyEventProc proc, void* userData);
// A key of the window pressed or released, or the loss of its keyboard focus,
// to both handlers (a focus loss to the second only).
void SendWindowKey(WindowRef window, const WindowKeyEvent& event);

// Event-driven mouse tracking: a click handler that takes the press asks for
// the rest of the gesture; each motion with the button down and the release
// call the procedure with the pointer in global coordinates. Never blocks.
using MouseTrackingProc = void (*)(MouseTrackingResult result, Point globalMouse, void* userData);
OSStatus TrackMouseLocationWithProc(WindowRef window, MouseTrackingProc proc, void* userData);
