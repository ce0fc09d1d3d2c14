// A Quartz context over Canvas 2D. The canvas's transform turns Quartz's y-up
// space (origin at the port's bottom-left, in unscaled pixels) into the
// canvas's pixels; images and text flip once more locally so that they stand
// upright. Pictures are the page's: decoded before the editor opens (so their
// sizes are known at once), found by the path of their file.
#include <emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "PlatformUI/Bundles.h"
#include "PlatformUI/Quartz.h"
#include "PlatformWeb/CanvasPrivate.h"

// clang-format off
// Begins drawing: the canvas's state saved, clipped to the rectangles (x, y,
// w, h in unscaled pixels) unless count is negative, y-up space set.
EM_JS(void, velmora_js_cg_begin, (JSHandle canvas, double height, double scale, const int* rects, int count), {
    const g = Module.velmoraObjects[canvas].g;
    g.save();
    g.setTransform(1, 0, 0, 1, 0, 0);
    if (count >= 0) {
        g.beginPath();
        for (let i = 0, r = rects >> 2; i < count; ++i, r += 4)
            g.rect(HEAP32[r] * scale, HEAP32[r + 1] * scale, HEAP32[r + 2] * scale, HEAP32[r + 3] * scale);
        g.clip();
    }
    g.setTransform(scale, 0, 0, -scale, 0, height * scale);
    g.imageSmoothingEnabled = true;
    g.imageSmoothingQuality = "low";  // bilinear, as cairo draws pictures turned or at their own size
    g.textBaseline = "alphabetic";
});

EM_JS(void, velmora_js_cg_save, (JSHandle canvas), { Module.velmoraObjects[canvas].g.save(); });
EM_JS(void, velmora_js_cg_restore, (JSHandle canvas), { Module.velmoraObjects[canvas].g.restore(); });
EM_JS(void, velmora_js_cg_translate, (JSHandle canvas, double x, double y), {
    Module.velmoraObjects[canvas].g.translate(x, y);
});
EM_JS(void, velmora_js_cg_rotate, (JSHandle canvas, double radians), {
    Module.velmoraObjects[canvas].g.rotate(radians);
});

// Clips to rectangles of unscaled window pixels combined by even-odd; the transform stays.
EM_JS(void, velmora_js_cg_clip_even_odd, (JSHandle canvas, double scale, const int* rects, int count), {
    const g = Module.velmoraObjects[canvas].g, m = g.getTransform();
    g.setTransform(scale, 0, 0, scale, 0, 0);
    g.beginPath();
    for (let i = 0, r = rects >> 2; i < count; ++i, r += 4) g.rect(HEAP32[r], HEAP32[r + 1], HEAP32[r + 2], HEAP32[r + 3]);
    g.clip("evenodd");
    g.setTransform(m);
});

EM_JS(void, velmora_js_cg_fill_rect,
      (JSHandle canvas, double x, double y, double w, double h, double r, double gr, double b, double a), {
    const g = Module.velmoraObjects[canvas].g;
    g.fillStyle = "rgba(" + r * 255 + "," + gr * 255 + "," + b * 255 + "," + a + ")";
    g.fillRect(x, y, w, h);
});

// The whole picture scaled into the rectangle, upright.
EM_JS(void, velmora_js_cg_draw_image,
      (JSHandle canvas, JSHandle picture, double x, double y, double w, double h, double alpha), {
    const objects = Module.velmoraObjects, g = objects[canvas].g, p = objects[picture];
    g.save();
    g.translate(x, y + h);
    g.scale(w / p.width, -h / p.height);
    g.globalAlpha = alpha;
    g.drawImage(p, 0, 0);
    g.restore();
});

// Draws the text with its baseline's left end at (x, y) unless `draw` is 0;
// returns its advance width.
EM_JS(double, velmora_js_cg_text,
      (JSHandle canvas, const char* text, const char* font, double size, double x, double y, int draw, double r,
       double gr, double b, double a), {
    const g = Module.velmoraObjects[canvas].g, s = UTF8ToString(text);
    g.font = size + "px \"" + UTF8ToString(font) + "\"";
    const width = g.measureText(s).width;
    if (draw) {
        g.save();
        g.translate(x, y);
        g.scale(1, -1);
        g.fillStyle = "rgba(" + r * 255 + "," + gr * 255 + "," + b * 255 + "," + a + ")";
        g.fillText(s, 0, 0);
        g.restore();
    }
    return width;
});

// The page's decoded picture of the file (Module.velmoraPictures, by path), with
// its pixel width and height; 0 when the page has none.
EM_JS(JSHandle, velmora_js_picture, (const char* path, int* size), {
    const pictures = Module.velmoraPictures, p = pictures && pictures.get(UTF8ToString(path));
    if (!p) return 0;
    const objects = Module.velmoraObjects || (Module.velmoraObjects = [null]);
    objects.push(p);
    HEAP32[size >> 2] = p.width;
    HEAP32[(size >> 2) + 1] = p.height;
    return objects.length - 1;
});
// clang-format on

struct CGContext {
    JSHandle canvas;
    double scale;
    QuartzState q;
};

struct CGImage {
    JSHandle picture;
    size_t width, height;  // unscaled
};

struct CGDataProvider {
    std::string path;
};

CGContextRef platform_ui::newCGContext(JSHandle canvas, double height, double scale, const RectList* clip) {
    const std::vector<int> words = clip ? rectWords(*clip) : std::vector<int>{};
    velmora_js_cg_begin(canvas, height, scale, words.data(), clip ? int(clip->size()) : -1);
    return new CGContext{canvas, scale, {}};
}

OSStatus QDBeginCGContext(CGrafPtr port, CGContextRef* outContext) {
    if (!port || !outContext) return paramErr;
    WindowRef w = port->window;
    // An update pass draws only what is invalid.
    *outContext = platform_ui::newCGContext(w->backend->backing, w->height, w->scale, w->backend->passClip);
    return noErr;
}

OSStatus QDEndCGContext(CGrafPtr, CGContextRef* context) {
    if (!context || !*context) return paramErr;
    // Whatever the drawing saved and left, and the state of the beginning.
    for (size_t i = 0; i <= (*context)->q.saved.size(); ++i) velmora_js_cg_restore((*context)->canvas);
    delete *context;
    *context = nullptr;
    return noErr;
}

OSStatus ClipCGContextToRegion(CGContextRef c, const Rect*, RgnHandle region) {
    if (!c || !region) return paramErr;
    std::vector<int> words;
    for (const Rect& r : region->rects) words.insert(words.end(), {r.left, r.top, r.right - r.left, r.bottom - r.top});
    velmora_js_cg_clip_even_odd(c->canvas, c->scale, words.data(), int(region->rects.size()));
    return noErr;
}

OSStatus SyncCGContextOriginWithPort(CGContextRef c, CGrafPtr) { return c ? noErr : paramErr; }

void CGContextSaveGState(CGContextRef c) {
    velmora_js_cg_save(c->canvas);
    c->q.save();
}

void CGContextRestoreGState(CGContextRef c) {
    if (c->q.restore()) velmora_js_cg_restore(c->canvas);
}

QuartzState& platform_ui::quartzState(CGContextRef c) { return c->q; }

void CGContextSynchronize(CGContextRef) {}  // a canvas shows what was drawn at once
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty) { velmora_js_cg_translate(c->canvas, tx, ty); }
void CGContextRotateCTM(CGContextRef c, CGFloat radians) { velmora_js_cg_rotate(c->canvas, radians); }

void CGContextFillRect(CGContextRef c, CGRect rect) {
    const auto& f = c->q.current.fill;
    velmora_js_cg_fill_rect(c->canvas, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height, f[0], f[1],
                            f[2], f[3] * c->q.current.alpha);
}

void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image) {
    if (!c || !image) return;
    velmora_js_cg_draw_image(c->canvas, image->picture, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height,
                             c->q.current.alpha);
}

void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* text, size_t length) {
    if (!c || !text) return;
    const auto& f = c->q.current.fill;
    const double advance = velmora_js_cg_text(
        c->canvas, platform_ui::textToUTF8(text, length).c_str(), c->q.current.font.c_str(), c->q.current.fontSize, x,
        y, c->q.current.textMode != kCGTextInvisible, f[0], f[1], f[2], f[3] * c->q.current.alpha);
    c->q.textPosition = {x + advance, y};
}

CGDataProviderRef CGDataProviderCreateWithURL(CFURLRef url) {
    if (!url) return nullptr;
    return new CGDataProvider{CFStringGetUTF8(url)};
}

void CGDataProviderRelease(CGDataProviderRef provider) { delete provider; }

CGImageRef CGImageCreateWithPNGDataProvider(CGDataProviderRef provider, const CGFloat*, bool, CGColorRenderingIntent) {
    if (!provider) return nullptr;
    int pixels[2] = {0, 0};
    const JSHandle picture = velmora_js_picture(provider->path.c_str(), pixels);
    if (!picture) return nullptr;
    // A picture for scale N (name@Nx.png, N = 1.5 or 2) reports its scale-1 size.
    const double scale = GetPictureFileScale(provider->path);
    return new CGImage{picture, size_t(std::lround(pixels[0] / scale)), size_t(std::lround(pixels[1] / scale))};
}

void CGImageRelease(CGImageRef image) {
    if (!image) return;
    platform_ui::freeJSObject(image->picture);
    delete image;
}

size_t CGImageGetWidth(CGImageRef image) { return image ? image->width : 0; }
size_t CGImageGetHeight(CGImageRef image) { return image ? image->height : 0; }
