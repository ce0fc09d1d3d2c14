// A Quartz 2D context over cairo: bottom-up coordinates from the port's
// bottom-left corner, images and text drawn upright, transforms, alpha, clips.
// And PNG pictures as images.
#pragma once
#include <cstddef>

#include "PlatformUI/Bundles.h"

using CGFloat = double;
struct CGPoint {
    CGFloat x;
    CGFloat y;
};
struct CGSize {
    CGFloat width;
    CGFloat height;
};
struct CGRect {
    CGPoint origin;
    CGSize size;
};
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat w, CGFloat h) { return {{x, y}, {w, h}}; }

struct CGContext;
struct CGImage;
struct CGDataProvider;
using CGContextRef = CGContext*;
using CGImageRef = CGImage*;
using CGDataProviderRef = CGDataProvider*;
using CGTextDrawingMode = int;
using CGTextEncoding = int;
using CGColorRenderingIntent = int;
enum : CGTextDrawingMode { kCGTextFill = 0, kCGTextInvisible = 3 };
enum : CGTextEncoding { kCGEncodingFontSpecific = 0, kCGEncodingMacRoman = 1 };
enum : CGColorRenderingIntent { kCGRenderingIntentDefault = 0 };

OSStatus QDBeginCGContext(CGrafPtr port, CGContextRef* outContext);
OSStatus QDEndCGContext(CGrafPtr port, CGContextRef* context);
OSStatus ClipCGContextToRegion(CGContextRef context, const Rect* portRect, RgnHandle region);
OSStatus SyncCGContextOriginWithPort(CGContextRef context, CGrafPtr port);

void CGContextSaveGState(CGContextRef c);
void CGContextRestoreGState(CGContextRef c);
void CGContextSynchronize(CGContextRef c);
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
void CGContextRotateCTM(CGContextRef c, CGFloat radians);  // counter-clockwise
void CGContextSetAlpha(CGContextRef c, CGFloat alpha);
void CGContextSetRGBFillColor(CGContextRef c, CGFloat r, CGFloat g, CGFloat b, CGFloat a);
void CGContextFillRect(CGContextRef c, CGRect rect);
void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image);  // upright, scaled into rect

// "Monaco" is drawn in DejaVu Sans Mono; the text is Mac Roman (ASCII here).
void CGContextSelectFont(CGContextRef c, const char* name, CGFloat size, CGTextEncoding encoding);
void CGContextSetTextDrawingMode(CGContextRef c, CGTextDrawingMode mode);
void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* text, size_t length);
CGPoint CGContextGetTextPosition(CGContextRef c);
void CGContextSetTextPosition(CGContextRef c, CGFloat x, CGFloat y);

// Pictures: a file URL, a provider on it, a PNG image from that. A picture
// made for scale N is named name@Nx.png and reports its unscaled size.
CGDataProviderRef CGDataProviderCreateWithURL(CFURLRef url);
void CGDataProviderRelease(CGDataProviderRef provider);
CGImageRef CGImageCreateWithPNGDataProvider(CGDataProviderRef provider, const CGFloat* decode, bool shouldInterpolate,
                                            CGColorRenderingIntent intent);
void CGImageRelease(CGImageRef image);
size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);
