// A small window of its own that shows why a command stopped: Xlib for the
// window and its events, cairo for the words, in the panel's colours.
#include "MessageWindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo/cairo-xlib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

namespace {

constexpr double kMargin = 20, kWrapWidth = 400, kFontSize = 13, kLineHeight = 19;
constexpr double kButtonWidth = 84, kButtonHeight = 28;

struct Colour {
    double r, g, b;
};
constexpr Colour kPanel{0.160, 0.180, 0.208}, kEdge{0.250, 0.282, 0.322}, kInk{0.800, 0.840, 0.870},
    kAccent{0.910, 0.640, 0.260};

void set(cairo_t* cr, Colour c) { cairo_set_source_rgb(cr, c.r, c.g, c.b); }

void font(cairo_t* cr, bool bold) {
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, kFontSize);
}

double textWidth(cairo_t* cr, const std::string& text) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    return e.x_advance;
}

// Words into lines no wider than kWrapWidth; a longer word has a line of its own.
std::vector<std::string> wrap(cairo_t* cr, const std::string& text) {
    std::vector<std::string> lines(1);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        const std::string word = text.substr(start, end - start);
        const std::string longer = lines.back().empty() ? word : lines.back() + " " + word;
        if (lines.back().empty() || textWidth(cr, longer) <= kWrapWidth)
            lines.back() = longer;
        else
            lines.push_back(word);
        start = end + 1;
    }
    return lines;
}

struct Layout {
    std::vector<std::string> lines;
    int width = 0, height = 0;
    double buttonX = 0, buttonY = 0;
};

Layout layOut(const std::string& heading, const std::string& message) {
    cairo_surface_t* scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(scratch);
    font(cr, true);
    double widest = textWidth(cr, heading);
    font(cr, false);
    Layout l;
    l.lines = wrap(cr, message);
    for (const std::string& line : l.lines) widest = std::max(widest, textWidth(cr, line));
    cairo_destroy(cr);
    cairo_surface_destroy(scratch);
    l.width = int(std::ceil(2 * kMargin + std::max(widest, 2 * kButtonWidth)));
    l.buttonX = l.width - kMargin - kButtonWidth;
    l.buttonY = kMargin + kLineHeight * double(l.lines.size() + 1) + kMargin;
    l.height = int(std::ceil(l.buttonY + kButtonHeight + kMargin));
    return l;
}

void draw(cairo_t* cr, const Layout& l, const std::string& heading) {
    set(cr, kPanel);
    cairo_paint(cr);
    font(cr, true);
    set(cr, kAccent);
    cairo_move_to(cr, kMargin, kMargin + kFontSize);
    cairo_show_text(cr, heading.c_str());
    font(cr, false);
    set(cr, kInk);
    for (size_t i = 0; i < l.lines.size(); ++i) {
        cairo_move_to(cr, kMargin, kMargin + kFontSize + kLineHeight * double(i + 1));
        cairo_show_text(cr, l.lines[i].c_str());
    }
    cairo_rectangle(cr, l.buttonX, l.buttonY, kButtonWidth, kButtonHeight);
    set(cr, kEdge);
    cairo_fill(cr);
    set(cr, kInk);
    const char* close = "Close";
    cairo_move_to(cr, l.buttonX + (kButtonWidth - textWidth(cr, close)) / 2, l.buttonY + kButtonHeight / 2 + 4.5);
    cairo_show_text(cr, close);
    cairo_surface_flush(cairo_get_target(cr));
}

}  // namespace

bool hasTerminal() { return isatty(STDIN_FILENO) || isatty(STDOUT_FILENO) || isatty(STDERR_FILENO); }

bool showMessageWindow(const std::string& title, const std::string& heading, const std::string& message) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    // Error texts start in lower case after "velmora: "; alone they read as a sentence.
    std::string sentence = message;
    if (!sentence.empty()) sentence[0] = char(std::toupper(static_cast<unsigned char>(sentence[0])));
    const Layout layout = layOut(heading, sentence);
    const int screen = DefaultScreen(display);
    const Window window = XCreateSimpleWindow(display, RootWindow(display, screen), 0, 0, unsigned(layout.width),
                                              unsigned(layout.height), 0, 0, 0);
    XStoreName(display, window, title.c_str());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_NAME", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()), int(title.size()));
    XClassHint classHint{const_cast<char*>("velmora"), const_cast<char*>("Velmora")};
    XSetClassHint(display, window, &classHint);
    XSizeHints* size = XAllocSizeHints();
    size->flags = PMinSize | PMaxSize;
    size->min_width = size->max_width = layout.width;
    size->min_height = size->max_height = layout.height;
    XSetWMNormalHints(display, window, size);
    XFree(size);
    const Atom dialog = XInternAtom(display, "_NET_WM_WINDOW_TYPE_DIALOG", False);
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&dialog), 1);
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, window, &deleteWindow, 1);
    XSelectInput(display, window, ExposureMask | KeyPressMask | ButtonPressMask | ButtonReleaseMask);
    cairo_surface_t* surface =
        cairo_xlib_surface_create(display, window, DefaultVisual(display, screen), layout.width, layout.height);
    cairo_t* cr = cairo_create(surface);
    XMapRaised(display, window);

    for (bool open = true; open;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == Expose && event.xexpose.count == 0) {
            draw(cr, layout, heading);
            XFlush(display);
        } else if (event.type == KeyPress) {
            const KeySym key = XLookupKeysym(&event.xkey, 0);
            open = !(key == XK_Return || key == XK_KP_Enter || key == XK_Escape);
        } else if (event.type == ButtonRelease && event.xbutton.button == Button1) {
            const double x = event.xbutton.x - layout.buttonX, y = event.xbutton.y - layout.buttonY;
            open = !(x >= 0 && x < kButtonWidth && y >= 0 && y < kButtonHeight);
        } else if (event.type == ClientMessage && Atom(event.xclient.data.l[0]) == deleteWindow) {
            open = false;
        }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    return true;
}
