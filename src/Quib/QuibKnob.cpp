// QuibKnob: drawing and the mouse.
#include "Quib/QuibKnob.h"

#include <algorithm>
#include <cmath>

#include "Quib/QuibMoreImages.h"

SInt32 QuibKnob::dragOriginValue = 0;
SInt32 QuibKnob::dragOriginH = 0;
SInt32 QuibKnob::dragOriginV = 0;
SInt32 QuibKnob::lastDisplacement = 0;

namespace {

// The knob's travel: from seven-thirty (-3/4 pi from twelve o'clock) through 3/2 pi, clockwise.
constexpr float kPi = 3.14159265358979f;
constexpr float kQuarterTurn = 1.5707963705062866f;  // pi/2 as a float
constexpr double kTravelStart = 2.356194490192345;   // 3/4 pi
constexpr double kTravel = 4.71238898038469;         // 3/2 pi

eRect sizedFromBackground(eRect* r, QuibGraphic* back) {
    if (back && r->w == 0) r->w = back->getWidth();
    if (back && r->h == 0) r->h = back->getHeight();
    return *r;
}

}  // namespace

QuibKnob::QuibKnob(QuibMan* chief, AUVParameter& parameter, eRect* r, QuibResolution resolution, QuibGraphic* fore,
                   QuibGraphic* back)
    : QuibCtrl(chief, parameter, r, resolution), ForeGround(fore), BackGround(back) {
    type = kQuib_Knob;
    where = sizedFromBackground(r, back);  // vizArea keeps the rectangle as given
    centerX = where.w / 2;
    centerY = where.h / 2;
    tolerance = SInt32(resolution);
}

void QuibKnob::setCenter(long x, long y) {
    centerX = SInt32(x);
    centerY = SInt32(y);
}

void QuibKnob::draw(CGContextRef context, UInt32 portHeight) {
    if (BackGround && BackGround->getImage()) {
        CGRect r;
        where.to(&r, portHeight);
        CGContextDrawImage(context, r, BackGround->getImage());
    }
    const long cx = centerX - (vizArea.x - where.x + vizArea.w / 2);
    const long cy = centerY - (vizArea.y - where.y + vizArea.h / 2);
    if (!ForeGround || !ForeGround->getImage()) return;
    if (ForeGround->getType() == kQuib_SpinImage)
        static_cast<QuibSpinImage*>(ForeGround)->draw(context, portHeight, &vizArea, valueFraction(), cx, cy);
    else
        ForeGround->draw(context, portHeight, &vizArea, valueFraction());
}

float QuibKnob::getValueFromPoint(Point* p) {
    const float dx = float(p->h - centerX), dy = float(p->v - centerY);
    float angle;  // clockwise from twelve o'clock
    if (dy == 0) {
        angle = dx < 0 ? -kQuarterTurn : kQuarterTurn;
    } else if (dy > 0) {
        const float a = std::atan(dx / dy);
        angle = a > 0 ? kPi - a : -kPi - a;
    } else {
        angle = -std::atan(dx / dy);
    }
    return float((angle + kTravelStart) / kTravel);
}

void QuibKnob::mouseDown(Point* p, bool withOption, bool withShift) {
    if (!withOption && !Chief->hasLinearKnobs()) {
        mouseTrack(p, false, withShift);
        return;
    }
    dragOriginValue = controlValue();
    dragOriginH = p->h;
    dragOriginV = p->v;
    lastDisplacement = 0;
}

void QuibKnob::mouseTrack(Point* p, bool withOption, bool withShift) {
    if (!carbonControl) return;
    const SInt32 maximum = controlMaximum();
    SInt32 value;
    if (withOption || Chief->hasLinearKnobs()) {
        // Both axes count, so that dragging up turns the knob up as well as dragging right.
        const SInt32 d = (p->h - dragOriginH) + (dragOriginV - p->v);
        if (d == lastDisplacement) return;
        lastDisplacement = d;
        value = withShift ? dragOriginValue + d / 2 : dragOriginValue + SInt32(Resolution) * (d / 2);
    } else if (withShift) {
        value = SInt32(getValueFromPoint(p) * float(maximum));
    } else {
        value = SInt32(Resolution) * SInt32(getValueFromPoint(p) * Range);
    }
    SetControl32BitValue(carbonControl, std::clamp(value, 0, maximum));
}

void QuibKnob::mouseWheel(int notches, bool withShift) {
    if (!carbonControl) return;
    const SInt32 step = withShift ? 1 : SInt32(Resolution);
    SetControl32BitValue(carbonControl, std::clamp(controlValue() + notches * step, 0, controlMaximum()));
}

void QuibKnob::mouseUp(Point* p, bool withOption, bool withShift) { mouseTrack(p, withOption, withShift); }
