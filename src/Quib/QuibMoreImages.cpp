// QuibSpinImage: rotation about a pivot. The transformation stays changed; the
// control's saved graphics state restores it.
#include "Quib/QuibMoreImages.h"

namespace {
constexpr double kTwoPi = 6.283185307179586;
}

QuibSpinImage::QuibSpinImage(const char* fileName, float start, float end, long px, long py, bool fixed)
    : QuibGraphic(fileName), imageOrientationFixed(fixed) {
    type = kQuib_SpinImage;
    startRad = float(-kTwoPi * start);
    allRad = float(kTwoPi * end + startRad);
    const SInt32 width = getWidth(), height = getHeight();
    pivotX = width ? float(px) / float(width) + 0.5f : 0.5f;
    pivotY = height ? float(py) / float(height) + 0.5f : 0.5f;
}

void QuibSpinImage::draw(CGContextRef c, UInt32 portHeight, eRect* rect, float value) {
    if (!Image) return;
    CGRect r;
    rect->to(&r, portHeight);
    const CGFloat W = r.size.width, H = r.size.height;
    const float angle = angleFor(value);
    CGContextTranslateCTM(c, r.origin.x + W * pivotX, r.origin.y + H * pivotY);
    CGContextRotateCTM(c, -angle);
    CGContextTranslateCTM(c, W * (0.5 - pivotX), H * (0.5 - pivotY));
    if (imageOrientationFixed) CGContextRotateCTM(c, angle);
    CGContextDrawImage(c, CGRectMake(-W / 2, -H / 2, W, H), Image);
}

void QuibSpinImage::draw(CGContextRef c, UInt32 portHeight, eRect* rect, float value, long cx, long cy) {
    if (!Image) return;
    CGRect r;
    rect->to(&r, portHeight);
    const CGFloat W = r.size.width, H = r.size.height;
    const float angle = angleFor(value);
    CGContextTranslateCTM(c, r.origin.x + W / 2 + cx, r.origin.y + H / 2 - cy);
    CGContextRotateCTM(c, -angle);
    CGContextTranslateCTM(c, -cx, cy);
    if (imageOrientationFixed) CGContextRotateCTM(c, angle);
    CGContextDrawImage(c, CGRectMake(-W / 2, -H / 2, W, H), Image);
}
