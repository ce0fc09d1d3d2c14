// QuibSpinImage: a picture turned by the value about a pivot.
#pragma once
#include "Quib/QuibGraphic.h"

class QuibSpinImage : public QuibGraphic {
public:
    // `start` and `end` are the pointer's positions at values 0 and 1, as
    // fractions of a turn clockwise from twelve o'clock; the pivot is given in
    // pixels from the picture's centre.
    QuibSpinImage(const char* fileName, float start, float end, long pivotX, long pivotY, bool imageOrientationFixed);

    void draw(CGContextRef context, UInt32 portHeight, eRect* rect, float value) override;
    // About a centre given in pixels from the rectangle's centre (top-down).
    virtual void draw(CGContextRef context, UInt32 portHeight, eRect* rect, float value, long cx, long cy);

private:
    float angleFor(float value) const { return value * allRad - startRad; }

    float startRad;
    float allRad;
    float pivotX, pivotY;  // fractions of the rectangle from its bottom-left corner
    bool imageOrientationFixed;
};
