// The canvas backend's side of windows, pictures and run loops: a backing
// canvas and the rectangles to draw and to copy to the page's canvas, the
// overlay, and the JavaScript objects behind them. Shared by this backend's
// implementation files only.
#pragma once
#include <vector>

#include "PlatformUI/PlatformUIPrivate.h"
#include "PlatformUI/Quartz.h"

// JavaScript objects (canvases, pictures) are numbered handles into one table
// of the page's (Module.velmoraObjects); 0 is none.
using JSHandle = int;

// A region as rectangles whose union it is (unscaled window pixels).
using RectList = std::vector<Rect>;

struct WindowBackend {
    JSHandle backing = 0;
    JSHandle screen = 0;   // the page's canvas; 0 for an offscreen window
    RectList invalid;      // to be drawn at the next update pass
    RectList unshown;      // drawn but not yet copied to the page's canvas
    JSHandle overlay = 0;  // composed over the backing image on the page's canvas only
    Rect overlayBounds{};
    const RectList* passClip = nullptr;  // while an update pass draws
};

struct LoopWaiter {
    bool onAnimationFrames = false;
};

namespace platform_ui {

// A Quartz context over a canvas of `height` unscaled pixels, clipped to `clip`
// when it is given; QDEndCGContext frees it.
CGContextRef newCGContext(JSHandle canvas, double height, double scale, const RectList* clip = nullptr);
// x, y, width, height of each rectangle, for the page's scripts.
std::vector<int> rectWords(const RectList& rects);
// Frees a canvas or picture of the table (a page's canvas keeps its element).
void freeJSObject(JSHandle handle);

}  // namespace platform_ui
