// QuickDraw ports and regions: enough to record a clip from framed rectangles.
#include "PlatformUI/QuickDraw.h"

#include "PlatformUI/PlatformUIPrivate.h"

namespace {

struct DrawingState {
    GrafPtr port = nullptr;
    OpaqueRgnHandle* recording = nullptr;  // between OpenRgn and CloseRgn
    OpaqueRgnHandle open;
};

DrawingState& state() {
    thread_local DrawingState s;
    return s;
}

}  // namespace

CGrafPtr GetWindowPort(WindowRef window) { return window ? &window->port : nullptr; }

void GetPort(GrafPtr* port) {
    if (port) *port = state().port;
}

void SetPort(GrafPtr port) { state().port = port; }

Rect* GetPortBounds(CGrafPtr port, Rect* bounds) {
    if (port && bounds) *bounds = {0, 0, port->window->height, port->window->width};
    return bounds;
}

RgnHandle NewRgn() { return new OpaqueRgnHandle; }

void DisposeRgn(RgnHandle region) { delete region; }

void OpenRgn() {
    state().open.rects.clear();
    state().recording = &state().open;
}

void CloseRgn(RgnHandle region) {
    if (region) region->rects = std::move(state().open.rects);
    state().open.rects.clear();
    state().recording = nullptr;
}

void FrameRect(const Rect* rect) {
    if (rect && state().recording) state().recording->rects.push_back(*rect);
}

void SetClip(RgnHandle region) {
    if (region && state().port) state().port->clip = region->rects;
}
