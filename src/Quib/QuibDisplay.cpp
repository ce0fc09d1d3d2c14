// QuibDisplay: pictures, text and vertical dragging.
#include "Quib/QuibDisplay.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Platform/Log.h"

SInt32 QuibDisplay::referenceV = 0;

QuibDisplay::QuibDisplay(QuibMan* chief, AUVParameter& parameter, eRect* r, QuibResolution resolution,
                         QuibGraphic* fore, QuibGraphic* back)
    : QuibCtrl(chief, parameter, r, resolution), ForeGround(fore), BackGround(back) {
    type = kQuib_Display;
}

QuibDisplay::QuibDisplay(QuibMan* chief, AUVParameter& parameter, eRect* r, QuibResolution resolution,
                         QuibTexter texter, void* userData, QuibGraphic* back)
    : QuibCtrl(chief, parameter, r, resolution),
      ForeGround(nullptr),
      BackGround(back),
      theTexter(texter),
      theUserData(userData ? userData : this),
      hasText(texter != nullptr) {
    type = kQuib_Display;
}

void QuibDisplay::makeText(UInt32 value, char* text) {
    text[0] = 0;
    if (hasText)
        theTexter(value, text, theUserData);
    else
        describe(auvp, value, text);
}

void QuibDisplay::describe(const AUVParameter& parameter, UInt32 value, char* text) {
    text[0] = 0;
    const AudioUnitParameterInfo& info = parameter.ParamInfo();
    if (info.unit == kAudioUnitParameterUnit_Indexed) {
        if (parameter.HasNamedParams()) {
            if (CFStringRef name = parameter.GetParamName(int(value)))
                CFStringGetCString(name, text, 24, kCFStringEncodingISOLatin1);
        } else {
            std::snprintf(text, 64, "%d", int(parameter.GetValue()));
        }
    } else if (info.unit == kAudioUnitParameterUnit_Boolean) {
        std::strcpy(text, value == 0 ? "no" : "yes");
    } else {
        std::snprintf(text, 64, "%.2f", double(parameter.GetValue()));
    }
}

void QuibDisplay::draw(CGContextRef context, UInt32 portHeight) {
    const SInt32 value = controlValue();
    QuibGraphic* picture = ForeGround;
    if (ForeGround) {
        for (SInt32 i = 0; i < value && picture; ++i) picture = static_cast<QuibGraphic*>(picture->getNext());
        if (!picture) PlatformLog("Shiiet, no Image there!\n");
    }
    CGRect r;
    if (BackGround && BackGround->getImage()) {
        where.to(&r, portHeight);
        CGContextDrawImage(context, r, BackGround->getImage());
    } else {
        PlatformLog("Shiiet, no background Image there!\n");
    }
    if (picture) {
        vizArea.to(&r, portHeight);
        CGContextDrawImage(context, r, picture->getImage());
        return;
    }
    if (ForeGround) return;  // a picture display past its last picture shows only the background

    char text[64];
    makeText(UInt32(value), text);
    const size_t length = std::strlen(text);
    CGContextSelectFont(context, "Monaco", 11.0, kCGEncodingMacRoman);
    CGContextSetRGBFillColor(context, 0.7, 1.0, 0.8, 1.0);
    vizArea.to(&r, portHeight);
    CGFloat x = r.origin.x;
    if (textalign != 0) {
        CGContextSetTextDrawingMode(context, kCGTextInvisible);
        CGContextShowTextAtPoint(context, 0, 0, text, length);
        const CGFloat width = CGContextGetTextPosition(context).x;
        x += textalign == 1 ? vizArea.w / 2 - width / 2 : vizArea.w - width;
    }
    CGContextSetTextDrawingMode(context, kCGTextFill);
    CGContextShowTextAtPoint(context, x, r.origin.y, text, length);
}

void QuibDisplay::mouseDown(Point* p, bool, bool) {
    if (carbonControl) referenceV = p->v;
}

void QuibDisplay::mouseTrack(Point* p, bool, bool withShift) {
    if (!carbonControl) return;
    const SInt32 step = withShift ? 10 : 4;
    const SInt32 d = referenceV - p->v;  // upwards is positive
    const SInt32 maximum = controlMaximum();
    SInt32 value = controlValue();
    if (Resolution == kQuib_res_1) {
        if (std::abs(d) <= 3 * step) return;
        if (d > 0)
            value = value >= maximum ? 0 : value + 1;
        else
            value = value <= 0 ? maximum : value - 1;
        SetControl32BitValue(carbonControl, value);
        referenceV = p->v;
        return;
    }
    const SInt32 multiplier = p->h > where.w / 2 ? 1 : SInt32(Resolution);
    if (std::abs(d) <= step) return;
    const SInt32 n = d / step;
    SetControl32BitValue(carbonControl, std::clamp(value + n * multiplier, 0, maximum));
    referenceV -= n * step;
}
