// A Quartz context over cairo. The cairo matrix turns Quartz's y-up space
// (origin at the port's bottom-left, in unscaled pixels) into the backing
// image; images and text flip once more locally so that they stand upright.
#include "PlatformUI/Quartz.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "PlatformUI/CairoX11Private.h"

struct CGContext {
    cairo_t* cr;
    cairo_surface_t* surface;
    double scale;
    struct State {
        double alpha = 1.0;
        double fill[4] = {0, 0, 0, 1};
        std::string font = "DejaVu Sans Mono";
        double fontSize = 12.0;
        CGTextDrawingMode textMode = kCGTextFill;
    };
    State state;
    std::vector<State> saved;
    CGPoint textPosition{0, 0};
};

struct CGImage {
    cairo_surface_t* surface;
    size_t width, height;  // unscaled
};

struct CGDataProvider {
    std::string path;
};

CGContextRef platform_ui::newCGContext(cairo_surface_t* surface, double height, double scale,
                                       const cairo_region_t* clip) {
    cairo_t* cr = cairo_create(surface);
    if (clip) platform_ui::clipToRegion(cr, clip, scale);
    cairo_translate(cr, 0, height * scale);
    cairo_scale(cr, scale, -scale);
    return new CGContext{cr, surface, scale, {}, {}, {}};
}

cairo_surface_t* platform_ui::imageSurface(CGImageRef image) { return image ? image->surface : nullptr; }

OSStatus QDBeginCGContext(CGrafPtr port, CGContextRef* outContext) {
    if (!port || !outContext) return paramErr;
    WindowRef w = port->window;
    // An update pass draws only what is invalid.
    *outContext = platform_ui::newCGContext(w->backend->backing, w->height, w->scale, w->backend->passClip);
    return noErr;
}

OSStatus QDEndCGContext(CGrafPtr, CGContextRef* context) {
    if (!context || !*context) return paramErr;
    cairo_destroy((*context)->cr);
    delete *context;
    *context = nullptr;
    return noErr;
}

OSStatus ClipCGContextToRegion(CGContextRef c, const Rect*, RgnHandle region) {
    if (!c || !region) return paramErr;
    cairo_matrix_t quartz;
    cairo_get_matrix(c->cr, &quartz);
    cairo_identity_matrix(c->cr);
    cairo_scale(c->cr, c->scale, c->scale);
    cairo_new_path(c->cr);
    for (const Rect& r : region->rects) cairo_rectangle(c->cr, r.left, r.top, r.right - r.left, r.bottom - r.top);
    cairo_set_fill_rule(c->cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(c->cr);
    cairo_set_fill_rule(c->cr, CAIRO_FILL_RULE_WINDING);
    cairo_set_matrix(c->cr, &quartz);
    return noErr;
}

OSStatus SyncCGContextOriginWithPort(CGContextRef c, CGrafPtr) { return c ? noErr : paramErr; }

void CGContextSaveGState(CGContextRef c) {
    cairo_save(c->cr);
    c->saved.push_back(c->state);
}

void CGContextRestoreGState(CGContextRef c) {
    if (c->saved.empty()) return;
    cairo_restore(c->cr);
    c->state = c->saved.back();
    c->saved.pop_back();
}

void CGContextSynchronize(CGContextRef c) { cairo_surface_flush(c->surface); }
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty) { cairo_translate(c->cr, tx, ty); }
void CGContextRotateCTM(CGContextRef c, CGFloat radians) { cairo_rotate(c->cr, radians); }
void CGContextSetAlpha(CGContextRef c, CGFloat alpha) { c->state.alpha = std::clamp(alpha, 0.0, 1.0); }

void CGContextSetRGBFillColor(CGContextRef c, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    c->state.fill[0] = r;
    c->state.fill[1] = g;
    c->state.fill[2] = b;
    c->state.fill[3] = a;
}

namespace {

void setFill(CGContextRef c) {
    const auto& f = c->state.fill;
    cairo_set_source_rgba(c->cr, f[0], f[1], f[2], f[3] * c->state.alpha);
}

// Our texts are ASCII; any other byte is taken as Latin-1 so cairo gets valid UTF-8.
std::string toUTF8(const char* text, size_t length) {
    std::string out;
    for (size_t i = 0; i < length && text[i]; ++i) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            out += char(b);
        } else {
            out += char(0xC0 | (b >> 6));
            out += char(0x80 | (b & 0x3F));
        }
    }
    return out;
}

}  // namespace

void CGContextFillRect(CGContextRef c, CGRect rect) {
    setFill(c);
    cairo_rectangle(c->cr, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
    cairo_fill(c->cr);
}

void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image) {
    if (!c || !image) return;
    const int pw = cairo_image_surface_get_width(image->surface);
    const int ph = cairo_image_surface_get_height(image->surface);
    cairo_save(c->cr);
    cairo_translate(c->cr, rect.origin.x, rect.origin.y + rect.size.height);
    cairo_scale(c->cr, rect.size.width / pw, -rect.size.height / ph);
    cairo_set_source_surface(c->cr, image->surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(c->cr), CAIRO_FILTER_GOOD);
    cairo_rectangle(c->cr, 0, 0, pw, ph);
    cairo_clip(c->cr);
    cairo_paint_with_alpha(c->cr, c->state.alpha);
    cairo_restore(c->cr);
}

void CGContextSelectFont(CGContextRef c, const char* name, CGFloat size, CGTextEncoding) {
    c->state.font = !name || std::strcmp(name, "Monaco") == 0 ? "DejaVu Sans Mono" : name;
    c->state.fontSize = size;
}

void CGContextSetTextDrawingMode(CGContextRef c, CGTextDrawingMode mode) { c->state.textMode = mode; }

void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* text, size_t length) {
    if (!c || !text) return;
    const std::string utf8 = toUTF8(text, length);
    cairo_save(c->cr);
    cairo_select_font_face(c->cr, c->state.font.c_str(), CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(c->cr, c->state.fontSize);
    cairo_text_extents_t extents;
    cairo_text_extents(c->cr, utf8.c_str(), &extents);
    if (c->state.textMode != kCGTextInvisible) {
        cairo_translate(c->cr, x, y);
        cairo_scale(c->cr, 1, -1);  // glyphs stand upright in y-up space
        cairo_move_to(c->cr, 0, 0);
        setFill(c);
        cairo_show_text(c->cr, utf8.c_str());
    }
    cairo_restore(c->cr);
    c->textPosition = {x + extents.x_advance, y};
}

CGPoint CGContextGetTextPosition(CGContextRef c) { return c->textPosition; }
void CGContextSetTextPosition(CGContextRef c, CGFloat x, CGFloat y) { c->textPosition = {x, y}; }

CGDataProviderRef CGDataProviderCreateWithURL(CFURLRef url) {
    if (!url) return nullptr;
    return new CGDataProvider{CFStringGetUTF8(url)};
}

void CGDataProviderRelease(CGDataProviderRef provider) { delete provider; }

CGImageRef CGImageCreateWithPNGDataProvider(CGDataProviderRef provider, const CGFloat*, bool, CGColorRenderingIntent) {
    if (!provider) return nullptr;
    cairo_surface_t* s = cairo_image_surface_create_from_png(provider->path.c_str());
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return nullptr;
    }
    // A picture for scale N (name@Nx.png, N = 1.5 or 2) reports its scale-1 size.
    const double scale = GetPictureFileScale(provider->path);
    return new CGImage{s, size_t(std::lround(cairo_image_surface_get_width(s) / scale)),
                       size_t(std::lround(cairo_image_surface_get_height(s) / scale))};
}

void CGImageRelease(CGImageRef image) {
    if (!image) return;
    cairo_surface_destroy(image->surface);
    delete image;
}

size_t CGImageGetWidth(CGImageRef image) { return image ? image->width : 0; }
size_t CGImageGetHeight(CGImageRef image) { return image ? image->height : 0; }
