// QuibGraphic: a picture from the bundle, drawn for a value of 0...1 as a
// still or as one frame of a vertical animation strip (frame 0 on top).
#pragma once
#include "PlatformUI/Quartz.h"
#include "Quib/QuibItem.h"
#include "Quib/eRect.h"

// The bundle whose pictures the toolkit loads.
constexpr const char* kQuibBundleIdentifier = "org.velmora.instrument";

// Loads a PNG picture of that bundle; null when it cannot.
CGImageRef loadImagePNG(const char* fileName);

class QuibGraphic : public QuibItem {
public:
    explicit QuibGraphic(const char* fileName);
    QuibGraphic(const char* fileName, UInt32 frames);
    ~QuibGraphic() override;

    virtual bool isAnim() { return Frames != 1; }
    virtual CGImageRef getImage() { return Image; }
    virtual UInt32 getFrames() { return Frames; }
    virtual SInt32 getWidth() { return Image ? SInt32(CGImageGetWidth(Image)) : 0; }
    // The height of one frame.
    virtual SInt32 getHeight() { return FrameHeight; }
    virtual void draw(CGContextRef context, UInt32 portHeight, eRect* rect, float value);

    // Which frame of a strip of `frames` a value of 0...1 shows.
    static UInt32 frameFor(UInt32 frames, float value);

protected:
    CGImageRef Image;
    UInt32 Frames;
    SInt32 FrameHeight;
};
