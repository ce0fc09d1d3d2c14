// Windows over cairo and X11: a backing image that controls draw into, update
// passes, the overlay, and (for X windows) the connection that shows the image
// and brings the input.
#include "PlatformUI/Windows.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <cairo-xlib.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "PlatformUI/CairoX11Private.h"
#include "PlatformUI/RunLoop.h"

struct XConnection {
    Display* display = nullptr;
    Window window = 0;
    Atom deleteWindow = 0;
    cairo_surface_t* surface = nullptr;
    ~XConnection() {
        if (surface) cairo_surface_destroy(surface);
        if (window) XDestroyWindow(display, window);
        XCloseDisplay(display);
    }
};

WindowBackend::~WindowBackend() {
    x.reset();
    if (overlay) cairo_surface_destroy(overlay);
    cairo_surface_destroy(backing);
    cairo_region_destroy(invalid);
    cairo_region_destroy(unshown);
}

namespace {

using platform_ui::scaledPixels;
using platform_ui::unscaledPixels;

cairo_surface_t* newBacking(SInt16 width, SInt16 height, double scale) {
    cairo_surface_t* s =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, scaledPixels(width, scale), scaledPixels(height, scale));
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0.16, 0.16, 0.17);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

WindowRef newWindow(SInt16 width, SInt16 height, double scale) {
    auto* w = new OpaqueWindowPtr;
    platform_ui::initWindow(w, width, height, scale);
    w->backend = new WindowBackend;
    w->backend->backing = newBacking(width, height, w->scale);
    w->backend->invalid = cairo_region_create();
    w->backend->unshown = cairo_region_create();
    platform_ui::invalidateRect(w, w->root.bounds);
    platform_ui::attachWindow(w->loop, w);
    return w;
}

OSStatus openX(const char* title, unsigned long parent, SInt16 width, SInt16 height, double scale,
               WindowRef* outWindow) {
    if (!outWindow || width <= 0 || height <= 0) return paramErr;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return errInvalidWindowRef;
    auto x = std::make_unique<XConnection>();
    x->display = display;
    const int screen = DefaultScreen(display);
    const bool child = parent != 0;
    const Window into = child ? Window(parent) : RootWindow(display, screen);
    const double s = scale > 0 ? scale : 1.0;
    x->window = XCreateSimpleWindow(display, into, 0, 0, scaledPixels(width, s), scaledPixels(height, s), 0,
                                    BlackPixel(display, screen), BlackPixel(display, screen));
    XSelectInput(display, x->window,
                 ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | LeaveWindowMask |
                     KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask);
    // A held key repeats as presses alone, so that players can tell a repeat from a new press.
    XkbSetDetectableAutoRepeat(display, True, nullptr);
    if (!child) {
        x->deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(display, x->window, &x->deleteWindow, 1);
        XSizeHints* hints = XAllocSizeHints();
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = scaledPixels(width, s);
        hints->min_height = hints->max_height = scaledPixels(height, s);
        XSetWMNormalHints(display, x->window, hints);
        XFree(hints);
        // What a desktop reads to tell whose window it is and where that program runs.
        const long pid = long(getpid());
        XChangeProperty(display, x->window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);
        char host[256] = {};
        if (gethostname(host, sizeof host - 1) == 0) {
            XTextProperty machine{reinterpret_cast<unsigned char*>(host), XA_STRING, 8, std::strlen(host)};
            XSetWMClientMachine(display, x->window, &machine);
        }
    }
    x->surface = cairo_xlib_surface_create(display, x->window, DefaultVisual(display, screen), scaledPixels(width, s),
                                           scaledPixels(height, s));
    WindowRef w = newWindow(width, height, s);
    w->backend->x = std::move(x);
    if (!child && title) SetWindowTitle(w, title);
    XMapWindow(display, w->backend->x->window);
    XFlush(display);
    *outWindow = w;
    return noErr;
}

EventTime seconds(Time milliseconds) { return double(milliseconds) / 1000.0; }

UInt32 modifiersOf(unsigned int state, unsigned int button) {
    UInt32 m = 0;
    if (state & ControlMask) m |= cmdKey;
    if (state & ShiftMask) m |= shiftKey;
    if ((state & Mod1Mask) || button == Button2) m |= optionKey;
    return m;
}

}  // namespace

namespace platform_ui {

void invalidateRect(WindowRef window, const Rect& r) {
    const cairo_rectangle_int_t rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
    if (rect.width > 0 && rect.height > 0) cairo_region_union_rectangle(window->backend->invalid, &rect);
}

void markShown(WindowRef window, const Rect& r) {
    const cairo_rectangle_int_t rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
    if (rect.width > 0 && rect.height > 0) cairo_region_union_rectangle(window->backend->unshown, &rect);
}

void clipToRegion(cairo_t* cr, const cairo_region_t* region, double scale) {
    cairo_matrix_t caller;
    cairo_get_matrix(cr, &caller);
    cairo_scale(cr, scale, scale);
    for (int i = 0; i < cairo_region_num_rectangles(region); ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(region, i, &r);
        cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    }
    cairo_clip(cr);
    cairo_set_matrix(cr, &caller);
}

int windowFd(WindowRef window) { return window->backend->x ? ConnectionNumber(window->backend->x->display) : -1; }

void copyToScreen(WindowRef window) {
    if (window->backend->x && !cairo_region_is_empty(window->backend->unshown)) {
        cairo_surface_flush(window->backend->backing);
        cairo_t* cr = cairo_create(window->backend->x->surface);
        clipToRegion(cr, window->backend->unshown, window->scale);
        cairo_set_source_surface(cr, window->backend->backing, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        if (window->backend->overlay) {
            const Rect& b = window->backend->overlayBounds;
            cairo_set_source_surface(cr, window->backend->overlay, b.left * window->scale, b.top * window->scale);
            cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
            cairo_rectangle(cr, b.left * window->scale, b.top * window->scale,
                            cairo_image_surface_get_width(window->backend->overlay),
                            cairo_image_surface_get_height(window->backend->overlay));
            cairo_fill(cr);
        }
        cairo_destroy(cr);
        cairo_surface_flush(window->backend->x->surface);
        XFlush(window->backend->x->display);
    }
    cairo_region_destroy(window->backend->unshown);
    window->backend->unshown = cairo_region_create();
}

void processWindowInput(WindowRef window) {
    if (!window->backend->x) return;
    Display* d = window->backend->x->display;
    const double s = window->scale;
    while (XPending(d)) {
        XEvent e;
        XNextEvent(d, &e);
        switch (e.type) {
            case Expose:
                markShown(window, {SInt16(e.xexpose.y / s), SInt16(e.xexpose.x / s),
                                   SInt16(std::ceil((e.xexpose.y + e.xexpose.height) / s)),
                                   SInt16(std::ceil((e.xexpose.x + e.xexpose.width) / s))});
                break;
            case ButtonPress:
                if (e.xbutton.button == Button4 || e.xbutton.button == Button5) {
                    SendWindowWheel(window, unscaledPixels(e.xbutton.x, s), unscaledPixels(e.xbutton.y, s),
                                    e.xbutton.button == Button4 ? 1 : -1, modifiersOf(e.xbutton.state, 0));
                    break;
                }
                [[fallthrough]];
            case ButtonRelease:
                if (e.xbutton.button == Button1 || e.xbutton.button == Button2)
                    SendWindowMouse(window, e.type == ButtonPress ? WindowMouse::press : WindowMouse::release,
                                    unscaledPixels(e.xbutton.x, s), unscaledPixels(e.xbutton.y, s),
                                    modifiersOf(e.xbutton.state, e.xbutton.button), seconds(e.xbutton.time));
                break;
            case MotionNotify:
                SendWindowMouse(window, WindowMouse::motion, unscaledPixels(e.xmotion.x, s),
                                unscaledPixels(e.xmotion.y, s), modifiersOf(e.xmotion.state, 0),
                                seconds(e.xmotion.time));
                break;
            case LeaveNotify:
                if (e.xcrossing.mode == NotifyNormal)
                    SendWindowMouse(window, WindowMouse::exit, unscaledPixels(e.xcrossing.x, s),
                                    unscaledPixels(e.xcrossing.y, s), 0, seconds(e.xcrossing.time));
                break;
            case KeyPress:
            case KeyRelease:
                SendWindowKey(window, {e.type == KeyPress ? WindowKeyEvent::press : WindowKeyEvent::release,
                                       e.xkey.keycode, XLookupKeysym(&e.xkey, 0), modifiersOf(e.xkey.state, 0)});
                break;
            case FocusOut:
                // Focus moving between our own windows' parts is no loss.
                if (e.xfocus.detail != NotifyInferior) SendWindowKey(window, {WindowKeyEvent::focusLost, 0, 0, 0});
                break;
            case ClientMessage:
                if (Atom(e.xclient.data.l[0]) == window->backend->x->deleteWindow) SendWindowCloseRequest(window);
                break;
            default: break;
        }
    }
    copyToScreen(window);
}

}  // namespace platform_ui

OSStatus CreateOffscreenWindow(SInt16 width, SInt16 height, double scale, WindowRef* outWindow) {
    if (!outWindow || width <= 0 || height <= 0) return paramErr;
    *outWindow = newWindow(width, height, scale);
    return noErr;
}

OSStatus CreateX11Window(const char* title, SInt16 width, SInt16 height, double scale, WindowRef* outWindow) {
    return openX(title, 0, width, height, scale, outWindow);
}

OSStatus CreateX11ChildWindow(unsigned long parentWindow, SInt16 width, SInt16 height, double scale,
                              WindowRef* outWindow) {
    if (!parentWindow) return paramErr;
    return openX(nullptr, parentWindow, width, height, scale, outWindow);
}

void DisposeWindow(WindowRef window) {
    if (!window) return;
    platform_ui::detachWindow(window->loop, window);
    platform_ui::disposeControlTree(&window->root);
    delete window->backend;
    delete window;
}

bool GetX11ScreenMetrics(int* width, int* height, double* dpi) {
    // Kept open: a server whose last client leaves resets, and a window opened
    // right after a closed connection could meet it mid-reset.
    static Display* const display = XOpenDisplay(nullptr);
    if (!display) return false;
    if (width) *width = DisplayWidth(display, DefaultScreen(display));
    if (height) *height = DisplayHeight(display, DefaultScreen(display));
    if (dpi) {
        *dpi = 96.0;
        XrmInitialize();
        if (const char* resources = XResourceManagerString(display)) {
            XrmDatabase db = XrmGetStringDatabase(resources);
            char* type = nullptr;
            XrmValue value{};
            if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
                const double d = std::atof(value.addr);
                if (d > 0) *dpi = d;
            }
            XrmDestroyDatabase(db);
        }
    }
    return true;
}

void SetWindowTitle(WindowRef window, const char* title) {
    if (!window || !window->backend->x || !title) return;
    Display* d = window->backend->x->display;
    // WM_NAME in the locale's encoding for old tools, _NET_WM_NAME in UTF-8 for the rest.
    Xutf8SetWMProperties(d, window->backend->x->window, title, title, nullptr, 0, nullptr, nullptr, nullptr);
    const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
    for (const char* property : {"_NET_WM_NAME", "_NET_WM_ICON_NAME"})
        XChangeProperty(d, window->backend->x->window, XInternAtom(d, property, False), utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(title), int(std::strlen(title)));
    XFlush(d);
}

void SetWindowClass(WindowRef window, const char* instanceName, const char* className) {
    if (!window || !window->backend->x || !instanceName || !className) return;
    XClassHint hint{const_cast<char*>(instanceName), const_cast<char*>(className)};
    XSetClassHint(window->backend->x->display, window->backend->x->window, &hint);
}

void SetWindowIcon(WindowRef window, const std::vector<CGImageRef>& sizes) {
    if (!window || !window->backend->x) return;
    // _NET_WM_ICON: for each size its width, height and ARGB pixels (not premultiplied), one per long.
    std::vector<unsigned long> data;
    for (CGImageRef image : sizes) {
        cairo_surface_t* s = platform_ui::imageSurface(image);
        if (!s) continue;
        cairo_surface_flush(s);
        const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        data.push_back(static_cast<unsigned long>(w));
        data.push_back(static_cast<unsigned long>(h));
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s) + y * stride);
            for (int x = 0; x < w; ++x) {
                const uint32_t p = row[x], a = p >> 24;
                const auto unpremultiply = [a](uint32_t c) { return a ? std::min<uint32_t>(255, c * 255 / a) : 0; };
                data.push_back((a << 24) | (unpremultiply((p >> 16) & 0xFF) << 16) |
                               (unpremultiply((p >> 8) & 0xFF) << 8) | unpremultiply(p & 0xFF));
            }
        }
    }
    if (data.empty()) return;
    Display* d = window->backend->x->display;
    XChangeProperty(d, window->backend->x->window, XInternAtom(d, "_NET_WM_ICON", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(data.data()), int(data.size()));
    XFlush(d);
}

void SizeWindow(WindowRef window, SInt16 width, SInt16 height) {
    if (!window || width <= 0 || height <= 0 || (width == window->width && height == window->height)) return;
    cairo_surface_t* larger = newBacking(width, height, window->scale);
    cairo_t* cr = cairo_create(larger);
    cairo_set_source_surface(cr, window->backend->backing, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(window->backend->backing);
    window->backend->backing = larger;
    window->width = width;
    window->height = height;
    window->root.bounds = {0, 0, height, width};
    platform_ui::invalidateRect(window, window->root.bounds);
    if (window->backend->x) {
        const int w = scaledPixels(width, window->scale), h = scaledPixels(height, window->scale);
        XSizeHints* hints = XAllocSizeHints();
        hints->flags = PMinSize | PMaxSize;
        hints->min_width = hints->max_width = w;
        hints->min_height = hints->max_height = h;
        XSetWMNormalHints(window->backend->x->display, window->backend->x->window, hints);
        XFree(hints);
        XResizeWindow(window->backend->x->display, window->backend->x->window, unsigned(w), unsigned(h));
        cairo_xlib_surface_set_size(window->backend->x->surface, w, h);
    }
}

unsigned long GetWindowXID(WindowRef window) { return window && window->backend->x ? window->backend->x->window : 0; }
void UpdateWindow(WindowRef window) {
    if (!window) return;
    if (!cairo_region_is_empty(window->backend->invalid)) {
        cairo_region_t* pass = window->backend->invalid;
        window->backend->invalid = cairo_region_create();
        window->backend->passClip = pass;
        for (ControlRef c : platform_ui::drawingOrder(&window->root)) {
            if (c == &window->root) continue;
            const Rect& b = c->bounds;
            const cairo_rectangle_int_t r{b.left, b.top, b.right - b.left, b.bottom - b.top};
            if (cairo_region_contains_rectangle(pass, &r) != CAIRO_REGION_OVERLAP_OUT)
                platform_ui::dispatchControlEvent(c, kEventControlDraw);
        }
        window->backend->passClip = nullptr;
        cairo_region_union(window->backend->unshown, pass);
        cairo_region_destroy(pass);
    }
    platform_ui::copyToScreen(window);
}

bool WriteWindowPNG(WindowRef window, const std::string& path) {
    if (!window) return false;
    cairo_surface_flush(window->backend->backing);
    return cairo_surface_write_to_png(window->backend->backing, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

UInt32 GetWindowPixel(WindowRef window, int x, int y) {
    if (!window || x < 0 || y < 0 || x >= window->width || y >= window->height) return 0;
    cairo_surface_flush(window->backend->backing);
    const int px = int(x * window->scale), py = int(y * window->scale);
    const unsigned char* row = cairo_image_surface_get_data(window->backend->backing) +
                               py * cairo_image_surface_get_stride(window->backend->backing);
    return reinterpret_cast<const UInt32*>(row)[px];
}

OSStatus BeginWindowOverlay(WindowRef window, const Rect& bounds, CGContextRef* outContext) {
    if (!window || !outContext || bounds.right <= bounds.left || bounds.bottom <= bounds.top) return paramErr;
    HideWindowOverlay(window);
    const double s = window->scale;
    window->backend->overlay = cairo_image_surface_create(
        CAIRO_FORMAT_ARGB32, scaledPixels(bounds.right - bounds.left, s), scaledPixels(bounds.bottom - bounds.top, s));
    window->backend->overlayBounds = bounds;
    *outContext = platform_ui::newCGContext(window->backend->overlay, bounds.bottom - bounds.top, s);
    return noErr;
}

void EndWindowOverlay(WindowRef window, CGContextRef* context) {
    if (!window || !context || !*context) return;
    CGContextSynchronize(*context);
    QDEndCGContext(nullptr, context);
    platform_ui::markShown(window, window->backend->overlayBounds);
}

void HideWindowOverlay(WindowRef window) {
    if (!window || !window->backend->overlay) return;
    cairo_surface_destroy(window->backend->overlay);
    window->backend->overlay = nullptr;
    platform_ui::markShown(window, window->backend->overlayBounds);  // the backing image shows there again
}

bool GetWindowOverlayBounds(WindowRef window, Rect* bounds) {
    if (!window || !window->backend->overlay) return false;
    if (bounds) *bounds = window->backend->overlayBounds;
    return true;
}
