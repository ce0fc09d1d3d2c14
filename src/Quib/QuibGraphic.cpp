// QuibGraphic: loading and drawing pictures.
#include "Quib/QuibGraphic.h"

CGImageRef loadImagePNG(const char* fileName) {
    CFBundleRef bundle = CFBundleGetBundleWithIdentifier(CFSTR_(kQuibBundleIdentifier));
    if (!bundle || !fileName) return nullptr;
    CFStringRef name = CFStringCreateWithCString(nullptr, fileName, kCFStringEncodingISOLatin1);
    if (!name) return nullptr;
    CGImageRef image = nullptr;
    if (CFURLRef url = CFBundleCopyResourceURL(bundle, name, nullptr, nullptr)) {
        if (CGDataProviderRef provider = CGDataProviderCreateWithURL(url)) {
            image = CGImageCreateWithPNGDataProvider(provider, nullptr, false, kCGRenderingIntentDefault);
            CGDataProviderRelease(provider);
        }
        CFRelease(url);
    }
    CFRelease(name);
    return image;
}

QuibGraphic::QuibGraphic(const char* fileName) : Image(loadImagePNG(fileName)), Frames(1) {
    type = kQuib_Graphic;
    FrameHeight = Image ? SInt32(CGImageGetHeight(Image)) : 1;
}

QuibGraphic::QuibGraphic(const char* fileName, UInt32 frames)
    : Image(loadImagePNG(fileName)), Frames(frames > 1 ? frames : 1) {
    type = kQuib_Graphic;
    FrameHeight = SInt32((Image ? UInt32(CGImageGetHeight(Image)) : Frames) / Frames);
}

QuibGraphic::~QuibGraphic() { CGImageRelease(Image); }

UInt32 QuibGraphic::frameFor(UInt32 frames, float value) { return UInt32(float(frames - 1) * value); }

void QuibGraphic::draw(CGContextRef context, UInt32 portHeight, eRect* rect, float value) {
    if (!Image) return;
    CGRect r;
    rect->to(&r, portHeight);
    if (Frames > 1) {
        // The whole strip, shifted so that the frame lands on the rectangle; the clip cuts the rest.
        const CGFloat h = r.size.height;
        r.origin.y += (frameFor(Frames, value) + 1) * h - Frames * h;
        r.size.height = Frames * h;
    }
    CGContextDrawImage(context, r, Image);
}
