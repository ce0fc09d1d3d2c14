// The cairo/X11 backend's side of windows, pictures and run loops: a backing
// cairo image and the regions to draw and to copy, the overlay, the X
// connection, and the descriptor that wakes a loop sleeping in poll. Shared
// by this backend's implementation files only.
#pragma once
#include <cairo.h>

#include <memory>

#include "PlatformUI/PlatformUIPrivate.h"
#include "PlatformUI/Quartz.h"

struct XConnection;  // X display and window, when the window has one

struct WindowBackend {
    cairo_surface_t* backing = nullptr;
    cairo_region_t* invalid = nullptr;         // to be drawn at the next update pass (unscaled)
    cairo_region_t* unshown = nullptr;         // drawn but not yet copied to X (unscaled)
    cairo_surface_t* overlay = nullptr;        // composed over the backing image on screen only
    Rect overlayBounds{};                      // unscaled
    const cairo_region_t* passClip = nullptr;  // while an update pass draws
    std::unique_ptr<XConnection> x;
    ~WindowBackend();
};

struct LoopWaiter {
    int fd;  // an eventfd: other threads write to it, poll wakes
};

namespace platform_ui {

// The pixels of a picture (ARGB32, premultiplied).
cairo_surface_t* imageSurface(CGImageRef image);
// A Quartz context over a cairo surface of `height` unscaled pixels, clipped to
// `clip` (unscaled) when it is given; QDEndCGContext frees it.
CGContextRef newCGContext(cairo_surface_t* surface, double height, double scale, const cairo_region_t* clip = nullptr);
// Clips `cr` to a region of unscaled window pixels; its matrix stays as it was.
void clipToRegion(cairo_t* cr, const cairo_region_t* region, double scale);

int windowFd(WindowRef window);  // the X connection's; -1 for offscreen

}  // namespace platform_ui
