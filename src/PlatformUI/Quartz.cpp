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
    QuartzState q;
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
    return new CGContext{cr, surface, scale, {}};
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
    c->q.save();
}

void CGContextRestoreGState(CGContextRef c) {
    if (c->q.restore()) cairo_restore(c->cr);
}

QuartzState& platform_ui::quartzState(CGContextRef c) { return c->q; }

void CGContextSynchronize(CGContextRef c) { cairo_surface_flush(c->surface); }
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty) { cairo_translate(c->cr, tx, ty); }
void CGContextRotateCTM(CGContextRef c, CGFloat radians) { cairo_rotate(c->cr, radians); }

namespace {

void setFill(CGContextRef c) {
    const auto& f = c->q.current.fill;
    cairo_set_source_rgba(c->cr, f[0], f[1], f[2], f[3] * c->q.current.alpha);
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
    cairo_paint_with_alpha(c->cr, c->q.current.alpha);
    cairo_restore(c->cr);
}

void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* text, size_t length) {
    if (!c || !text) return;
    const std::string utf8 = platform_ui::textToUTF8(text, length);
    cairo_save(c->cr);
    cairo_select_font_face(c->cr, c->q.current.font.c_str(), CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(c->cr, c->q.current.fontSize);
    cairo_text_extents_t extents;
    cairo_text_extents(c->cr, utf8.c_str(), &extents);
    if (c->q.current.textMode != kCGTextInvisible) {
        cairo_translate(c->cr, x, y);
        cairo_scale(c->cr, 1, -1);  // glyphs stand upright in y-up space
        cairo_move_to(c->cr, 0, 0);
        setFill(c);
        cairo_show_text(c->cr, utf8.c_str());
    }
    cairo_restore(c->cr);
    c->q.textPosition = {x + extents.x_advance, y};
}

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
