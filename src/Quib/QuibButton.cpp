// QuibButton: presses, releases and faces.
#include "Quib/QuibButton.h"

QuibButton::QuibButton(QuibMan* chief, AUVParameter& parameter, eRect* r, QuibGraphic* fore, QuibGraphic* back,
                       QuibBottonMode buttonMode)
    : QuibCtrl(chief, parameter, r, kQuib_res_1), ForeGround(fore), BackGround(back), mode(buttonMode) {}

void QuibButton::setUserProcedure(QuibButtonProc procedure, void* data) {
    userProcedure = procedure;
    userData = data;
}

void QuibButton::mouseDown(Point*, bool, bool) {
    hilite = true;
    if (!carbonControl) return;
    const SInt32 before = controlValue(), maximum = controlMaximum();
    UInt32 told = 0;
    switch (mode) {
        case kPushButton:
            SetControl32BitValue(carbonControl, maximum);
            told = UInt32(before);
            break;
        case kIncButton:
            SetControl32BitValue(carbonControl, before >= maximum ? 0 : before + 1);
            told = UInt32(controlValue());
            break;
        case kDecButton:
            SetControl32BitValue(carbonControl, before <= 0 ? maximum : before - 1);
            told = UInt32(controlValue());
            break;
        case kRadioButton:
            SetControl32BitValue(carbonControl, SInt32(onValue));
            told = onValue;
            break;
    }
    if (userProcedure) userProcedure(told, this, userData);
}

void QuibButton::mouseUp(Point*, bool, bool) {
    hilite = false;
    if (!carbonControl) return;
    switch (mode) {
        case kPushButton: SetControl32BitValue(carbonControl, 0); break;
        case kIncButton:
        case kDecButton:
            // Out of the relaxed phase first, or the redraw filter would keep the lit face.
            Chief->setRelaxed(false);
            Draw1Control(carbonControl);
            break;
        case kRadioButton: SetControl32BitValue(carbonControl, SInt32(onValue)); break;
    }
}

void QuibButton::draw(CGContextRef context, UInt32 portHeight) {
    CGRect r;
    where.to(&r, portHeight);
    if (BackGround && BackGround->getImage()) CGContextDrawImage(context, r, BackGround->getImage());
    if (!ForeGround) return;
    if (mode == kPushButton || mode == kRadioButton) {
        ForeGround->draw(context, portHeight, &where, controlValue() == SInt32(onValue) ? 1.0f : 0.0f);
    } else if (hilite) {
        CGContextDrawImage(context, r, ForeGround->getImage());
    } else if (alpha != 0) {
        CGContextSetAlpha(context, alpha);
        CGContextDrawImage(context, r, ForeGround->getImage());
    }
}
