// QuibKnob: a rotary knob. A click sets the value at the pointer's angle;
// Option drags it relatively (right or up raises), Shift in single control
// steps. With the manager's linear knobs every drag is relative.
#pragma once
#include "Quib/QuibControl.h"
#include "Quib/QuibGraphic.h"

class QuibKnob : public QuibCtrl {
public:
    // A zero width or height of `where` is taken from the background picture.
    QuibKnob(QuibMan* chief, AUVParameter& parameter, eRect* where, QuibResolution resolution, QuibGraphic* fore,
             QuibGraphic* back);

    void draw(CGContextRef context, UInt32 portHeight) override;
    void mouseDown(Point* p, bool withOption, bool withShift) override;
    void mouseTrack(Point* p, bool withOption, bool withShift) override;
    void mouseUp(Point* p, bool withOption, bool withShift) override;
    virtual void setCenter(long x, long y);
    // One parameter unit per notch; with Shift one control step.
    void mouseWheel(int notches, bool withShift) override;

    // The fraction for a point: 0 at seven-thirty, 0.5 at twelve, 1 at
    // four-thirty; below 0 or above 1 in the dead sector under the pivot.
    float getValueFromPoint(Point* p);

private:
    SInt32 centerX, centerY;
    QuibGraphic* ForeGround;
    QuibGraphic* BackGround;

    // One relative drag at a time, for every knob.
    static SInt32 dragOriginValue;
    static SInt32 dragOriginH;
    static SInt32 dragOriginV;
    static SInt32 lastDisplacement;
};
