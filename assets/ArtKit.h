// What the build-time drawings share: the panel's colours, a rounded rectangle,
// and a picture drawn at a scale into a PNG file.
#pragma once
#include <cairo.h>

#include <cmath>
#include <functional>
#include <string>

namespace art {

struct Colour {
    double r, g, b;
};
constexpr Colour kGround{0.105, 0.118, 0.137}, kPanel{0.160, 0.180, 0.208}, kEdge{0.250, 0.282, 0.322},
    kInk{0.800, 0.840, 0.870}, kDim{0.560, 0.600, 0.640}, kAccent{0.910, 0.640, 0.260}, kLcd{0.040, 0.075, 0.060},
    kLcdInk{0.700, 1.000, 0.800};

inline void set(cairo_t* cr, Colour c, double alpha = 1.0) { cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha); }

inline void roundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

using Paint = std::function<void(cairo_t*)>;

// `paint` on a w x h canvas, drawn `scale` times as large into `path`; false when it cannot be written.
inline bool writePng(const std::string& path, int w, int h, double scale, const Paint& paint) {
    cairo_surface_t* s =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(std::lround(w * scale)), int(std::lround(h * scale)));
    cairo_t* cr = cairo_create(s);
    cairo_scale(cr, scale, scale);
    paint(cr);
    cairo_destroy(cr);
    const bool written = cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(s);
    return written;
}

}  // namespace art
