// Windows over Canvas 2D: a backing canvas that controls draw into, update
// passes, the overlay, and the page's canvas that shows the image and brings
// pointer, wheel and key events to the same dispatch as X11's.
#include <emscripten.h>

#include <algorithm>

#include "PlatformUI/Controls.h"
#include "PlatformUI/Windows.h"
#include "PlatformWeb/CanvasPrivate.h"
#include "PlatformWeb/CanvasWindow.h"

// clang-format off
EM_JS(JSHandle, velmora_js_canvas_new, (int width, int height), {
    const objects = Module.velmoraObjects || (Module.velmoraObjects = [null]);
    const canvas = document.createElement("canvas");
    canvas.width = width;
    canvas.height = height;
    const g = canvas.getContext("2d");
    g.fillStyle = "rgb(41, 41, 43)";  // what shows before the first pass draws
    g.fillRect(0, 0, width, height);
    objects.push({ canvas: canvas, g: g });
    return objects.length - 1;
});

// The page's canvas of that id, or 0.
EM_JS(JSHandle, velmora_js_canvas_find, (const char* id), {
    const canvas = document.getElementById(UTF8ToString(id));
    if (!(canvas instanceof HTMLCanvasElement)) return 0;
    const objects = Module.velmoraObjects || (Module.velmoraObjects = [null]);
    objects.push({ canvas: canvas, g: canvas.getContext("2d"), listeners: [] });
    return objects.length - 1;
});

// A new pixel size; a backing canvas keeps what it holds, the page's canvas
// also takes the CSS size.
EM_JS(void, velmora_js_canvas_resize, (JSHandle handle, int width, int height, int cssWidth, int cssHeight), {
    const o = Module.velmoraObjects[handle];
    if (cssWidth > 0) {
        o.canvas.width = width;
        o.canvas.height = height;
        o.canvas.style.width = cssWidth + "px";
        o.canvas.style.height = cssHeight + "px";
        return;
    }
    const larger = document.createElement("canvas");
    larger.width = width;
    larger.height = height;
    const g = larger.getContext("2d");
    g.fillStyle = "rgb(41, 41, 43)";
    g.fillRect(0, 0, width, height);
    g.drawImage(o.canvas, 0, 0);
    o.canvas = larger;
    o.g = g;
});

EM_JS(void, velmora_js_free, (JSHandle handle), {
    const objects = Module.velmoraObjects, o = objects[handle];
    if (o && o.listeners)
        for (let i = 0; i < o.listeners.length; ++i) o.canvas.removeEventListener.apply(o.canvas, o.listeners[i]);
    objects[handle] = null;
});

// Copies the rectangles (x, y, w, h in unscaled pixels) of the backing canvas
// to the page's, with the overlay over them.
EM_JS(void, velmora_js_canvas_show,
      (JSHandle screen, JSHandle backing, const int* rects, int count, double scale, JSHandle overlay, double x,
       double y), {
    const objects = Module.velmoraObjects, to = objects[screen].g;
    to.save();
    to.setTransform(1, 0, 0, 1, 0, 0);
    to.beginPath();
    for (let i = 0, r = rects >> 2; i < count; ++i, r += 4)
        to.rect(HEAP32[r] * scale, HEAP32[r + 1] * scale, HEAP32[r + 2] * scale, HEAP32[r + 3] * scale);
    to.clip();
    to.drawImage(objects[backing].canvas, 0, 0);
    if (overlay) to.drawImage(objects[overlay].canvas, x * scale, y * scale);
    to.restore();
});

// The page's canvas brings its input to the window: positions in the canvas's
// pixels, X-style modifiers (Control, or Meta on a Mac, for Command; Alt or the
// middle button for Option; Shift), the events' own time stamps in seconds.
EM_JS(void, velmora_js_canvas_listen, (JSHandle handle, void* window), {
    const o = Module.velmoraObjects[handle], canvas = o.canvas;
    const mac = /Mac|iPhone|iPad/.test(navigator.platform);
    const cmdKey = 1 << 8, shiftKey = 1 << 9, optionKey = 1 << 11;  // the Carbon modifier bits
    const press = 0, motion = 1, release = 2, exit = 3;             // WindowMouse, in its order
    const modifiers = (e) =>
        ((mac ? e.metaKey : e.ctrlKey) ? cmdKey : 0) | (e.shiftKey ? shiftKey : 0) | (e.altKey ? optionKey : 0);
    const listen = (type, listener, options) => {
        canvas.addEventListener(type, listener, options);
        o.listeners.push([type, listener, options]);
    };
    // A position in the canvas's pixels: the browser shows the canvas from the
    // device pixel nearest to its layout position, and may stretch it.
    const at = (e) => {
        const r = canvas.getBoundingClientRect(), d = devicePixelRatio || 1;
        const left = Math.round(r.left * d), top = Math.round(r.top * d);
        return [(e.clientX * d - left) * canvas.width / Math.round(r.width * d),
                (e.clientY * d - top) * canvas.height / Math.round(r.height * d)];
    };
    const mouse = (what, e, extra) => {
        const p = at(e);
        Module["_velmora_canvas_mouse"](window, what, p[0], p[1], modifiers(e) | extra, e.timeStamp / 1000);
    };
    canvas.style.touchAction = "none";  // a drag turns a knob, it does not scroll the page
    if (canvas.tabIndex < 0) canvas.tabIndex = 0;
    let pointer = null;  // the one pointer whose button is down
    listen("pointerdown", (e) => {
        if (pointer !== null || (e.button !== 0 && e.button !== 1)) return;
        pointer = e.pointerId;
        canvas.setPointerCapture(e.pointerId);
        canvas.focus({ preventScroll: true });
        e.preventDefault();
        mouse(press, e, e.button === 1 ? optionKey : 0);
    });
    listen("pointermove", (e) => {
        if (pointer === null || e.pointerId === pointer) mouse(motion, e, 0);
    });
    const up = (e) => {
        if (e.pointerId !== pointer) return;
        pointer = null;
        mouse(release, e, 0);
    };
    listen("pointerup", up);
    listen("pointercancel", up);
    listen("pointerleave", (e) => {
        if (pointer === null) mouse(exit, e, 0);
    });
    listen("mousedown", (e) => {
        if (e.button === 1) e.preventDefault();  // no autoscroll: the middle button drags as Option
    });
    // A mouse's notch comes as one event of 50 pixels or more; a touchpad's
    // small steps add up to notches of 50.
    let wheel = 0;
    listen("wheel", (e) => {
        const pixels = e.deltaY * (e.deltaMode === 1 ? 40 : e.deltaMode === 2 ? 800 : 1);
        let notches = 0;
        if (Math.abs(pixels) >= 50) {
            notches = pixels < 0 ? 1 : -1;
            wheel = 0;
        } else {
            wheel -= pixels;
            notches = Math.trunc(wheel / 50);
            wheel -= notches * 50;
        }
        if (!notches) return;
        const p = at(e);
        if (Module["_velmora_canvas_wheel"](window, p[0], p[1], notches, modifiers(e))) e.preventDefault();
    }, { passive: false });
    // Keys as X names them: the unshifted keysym, and the keycode of the
    // key's place for the rows a player uses.
    const named = { PageUp: 0xff55, PageDown: 0xff56, ArrowLeft: 0xff51, ArrowUp: 0xff52, ArrowRight: 0xff53,
                    ArrowDown: 0xff54, Home: 0xff50, End: 0xff57, Escape: 0xff1b, Enter: 0xff0d, Tab: 0xff09,
                    Backspace: 0xff08, Delete: 0xffff, Space: 0x20 };
    const places = { PageUp: 112, PageDown: 117, ArrowLeft: 113, ArrowUp: 111, ArrowRight: 114, ArrowDown: 116 };
    const rows = [["1234567890", 10], ["qwertyuiop", 24], ["asdfghjkl", 38], ["zxcvbnm", 52]];
    const key = (kind, e) => {
        const code = e.code, base = /^(Key|Digit)/.test(code) ? code.slice(-1).toLowerCase() : "";
        const keysym = base ? base.charCodeAt(0) : named[code] || named[e.key] ||
                       (e.key.length === 1 ? e.key.charCodeAt(0) : 0);
        let keycode = places[code] || 0;
        for (let i = 0; i < rows.length; ++i)
            if (base && rows[i][0].indexOf(base) >= 0) keycode = rows[i][1] + rows[i][0].indexOf(base);
        if (keysym) Module["_velmora_canvas_key"](window, kind, keycode, keysym, modifiers(e));
    };
    listen("keydown", (e) => key(0, e));  // a held key repeats as presses, as with XKB's detectable repeat
    listen("keyup", (e) => key(1, e));
    listen("blur", () => Module["_velmora_canvas_key"](window, 2, 0, 0, 0));
});
// clang-format on

using platform_ui::scaledPixels;
using platform_ui::unscaledPixels;

namespace {

bool overlaps(const Rect& a, const Rect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool contains(const Rect& outer, const Rect& inner) {
    return outer.left <= inner.left && outer.top <= inner.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Adds a rectangle to a union, dropping what it covers or what covers it.
void addRect(RectList& list, const Rect& r) {
    if (r.right <= r.left || r.bottom <= r.top) return;
    if (std::any_of(list.begin(), list.end(), [&](const Rect& o) { return contains(o, r); })) return;
    std::erase_if(list, [&](const Rect& o) { return contains(r, o); });
    list.push_back(r);
}

WindowRef newWindow(SInt16 width, SInt16 height, double scale, JSHandle screen) {
    auto* w = new OpaqueWindowPtr;
    platform_ui::initWindow(w, width, height, scale);
    w->backend = new WindowBackend;
    w->backend->backing = velmora_js_canvas_new(scaledPixels(width, w->scale), scaledPixels(height, w->scale));
    w->backend->screen = screen;
    if (screen) {
        velmora_js_canvas_resize(screen, scaledPixels(width, w->scale), scaledPixels(height, w->scale), width, height);
        velmora_js_canvas_listen(screen, w);
    }
    platform_ui::invalidateRect(w, w->root.bounds);
    platform_ui::attachWindow(w->loop, w);
    return w;
}

}  // namespace

namespace platform_ui {

std::vector<int> rectWords(const RectList& rects) {
    std::vector<int> words;
    for (const Rect& r : rects) words.insert(words.end(), {r.left, r.top, r.right - r.left, r.bottom - r.top});
    return words;
}

void freeJSObject(JSHandle handle) {
    if (handle) velmora_js_free(handle);
}

void invalidateRect(WindowRef window, const Rect& r) { addRect(window->backend->invalid, r); }
void markShown(WindowRef window, const Rect& r) { addRect(window->backend->unshown, r); }

void copyToScreen(WindowRef window) {
    WindowBackend& b = *window->backend;
    if (b.screen && !b.unshown.empty()) {
        const std::vector<int> words = rectWords(b.unshown);
        velmora_js_canvas_show(b.screen, b.backing, words.data(), int(b.unshown.size()), window->scale, b.overlay,
                               b.overlayBounds.left, b.overlayBounds.top);
    }
    b.unshown.clear();
}

// Input comes from the page's event listeners as it happens.
void processWindowInput(WindowRef) {}

}  // namespace platform_ui

OSStatus CreateOffscreenWindow(SInt16 width, SInt16 height, double scale, WindowRef* outWindow) {
    if (!outWindow || width <= 0 || height <= 0) return paramErr;
    *outWindow = newWindow(width, height, scale, 0);
    return noErr;
}

OSStatus CreateCanvasWindow(const char* canvasId, SInt16 width, SInt16 height, double scale, WindowRef* outWindow) {
    if (!canvasId || !outWindow || width <= 0 || height <= 0) return paramErr;
    const JSHandle screen = velmora_js_canvas_find(canvasId);
    if (!screen) return errInvalidWindowRef;
    *outWindow = newWindow(width, height, scale, screen);
    return noErr;
}

void DisposeWindow(WindowRef window) {
    if (!window) return;
    platform_ui::detachWindow(window->loop, window);
    platform_ui::disposeControlTree(&window->root);
    WindowBackend* b = window->backend;
    for (JSHandle h : {b->screen, b->backing, b->overlay}) platform_ui::freeJSObject(h);
    delete b;
    delete window;
}

void SizeWindow(WindowRef window, SInt16 width, SInt16 height) {
    if (!window || width <= 0 || height <= 0 || (width == window->width && height == window->height)) return;
    const int w = scaledPixels(width, window->scale), h = scaledPixels(height, window->scale);
    velmora_js_canvas_resize(window->backend->backing, w, h, 0, 0);
    if (window->backend->screen) velmora_js_canvas_resize(window->backend->screen, w, h, width, height);
    window->width = width;
    window->height = height;
    window->root.bounds = {0, 0, height, width};
    platform_ui::invalidateRect(window, window->root.bounds);
}

void UpdateWindow(WindowRef window) {
    if (!window) return;
    WindowBackend& b = *window->backend;
    if (!b.invalid.empty()) {
        RectList pass;
        pass.swap(b.invalid);
        b.passClip = &pass;
        for (ControlRef c : platform_ui::drawingOrder(&window->root)) {
            if (c == &window->root) continue;
            if (std::any_of(pass.begin(), pass.end(), [&](const Rect& r) { return overlaps(r, c->bounds); }))
                platform_ui::dispatchControlEvent(c, kEventControlDraw);
        }
        b.passClip = nullptr;
        for (const Rect& r : pass) addRect(b.unshown, r);
    }
    platform_ui::copyToScreen(window);
}

OSStatus BeginWindowOverlay(WindowRef window, const Rect& bounds, CGContextRef* outContext) {
    if (!window || !outContext || bounds.right <= bounds.left || bounds.bottom <= bounds.top) return paramErr;
    HideWindowOverlay(window);
    const double s = window->scale;
    WindowBackend& b = *window->backend;
    b.overlay =
        velmora_js_canvas_new(scaledPixels(bounds.right - bounds.left, s), scaledPixels(bounds.bottom - bounds.top, s));
    b.overlayBounds = bounds;
    *outContext = platform_ui::newCGContext(b.overlay, bounds.bottom - bounds.top, s);
    return noErr;
}

void EndWindowOverlay(WindowRef window, CGContextRef* context) {
    if (!window || !context || !*context) return;
    QDEndCGContext(nullptr, context);
    platform_ui::markShown(window, window->backend->overlayBounds);
}

void HideWindowOverlay(WindowRef window) {
    if (!window || !window->backend->overlay) return;
    platform_ui::freeJSObject(window->backend->overlay);
    window->backend->overlay = 0;
    platform_ui::markShown(window, window->backend->overlayBounds);  // the backing image shows there again
}

bool GetWindowOverlayBounds(WindowRef window, Rect* bounds) {
    if (!window || !window->backend->overlay) return false;
    if (bounds) *bounds = window->backend->overlayBounds;
    return true;
}

// What the page's canvas sends, in its own pixels: mapped back to unscaled
// window pixels and dispatched as X11's input is.
// The page's listener (velmora_js_canvas_listen) writes these values as numbers.
static_assert(cmdKey == 1u << 8 && shiftKey == 1u << 9 && optionKey == 1u << 11);
static_assert(int(WindowMouse::press) == 0 && int(WindowMouse::motion) == 1 && int(WindowMouse::release) == 2 &&
              int(WindowMouse::exit) == 3);

extern "C" EMSCRIPTEN_KEEPALIVE void velmora_canvas_mouse(WindowRef window, int what, double x, double y,
                                                          UInt32 modifiers, double seconds) {
    SendWindowMouse(window, WindowMouse(what), unscaledPixels(x, window->scale), unscaledPixels(y, window->scale),
                    modifiers, seconds);
}

extern "C" EMSCRIPTEN_KEEPALIVE int velmora_canvas_wheel(WindowRef window, double x, double y, int notches,
                                                         UInt32 modifiers) {
    return SendWindowWheel(window, unscaledPixels(x, window->scale), unscaledPixels(y, window->scale), notches,
                           modifiers);
}

extern "C" EMSCRIPTEN_KEEPALIVE void velmora_canvas_key(WindowRef window, int kind, unsigned keycode,
                                                        unsigned long keysym, UInt32 modifiers) {
    SendWindowKey(window, {WindowKeyEvent::Kind(kind), keycode, keysym, modifiers});
}
