// QuibButton: a push button, a step button that counts its value up or down
// with wrap-around, or one LED of a radio group.
#pragma once
#include "Quib/QuibControl.h"
#include "Quib/QuibGraphic.h"

enum QuibBottonMode : UInt32 { kPushButton = 0, kIncButton = 1, kDecButton = 2, kRadioButton = 3 };

class QuibButton;
using QuibButtonProc = void (*)(UInt32 value, QuibButton* button, void* userData);

class QuibButton : public QuibCtrl {
public:
    // `fore` is a two-frame strip (off, on) for push and radio buttons, a still for step buttons.
    QuibButton(QuibMan* chief, AUVParameter& parameter, eRect* where, QuibGraphic* fore, QuibGraphic* back,
               QuibBottonMode mode);

    void draw(CGContextRef context, UInt32 portHeight) override;
    void mouseDown(Point* p, bool withOption, bool withShift) override;
    void mouseTrack(Point*, bool, bool) override {}
    void mouseUp(Point* p, bool withOption, bool withShift) override;
    virtual void setUserProcedure(QuibButtonProc procedure, void* data);
    virtual void setOnValue(UInt32 value) { onValue = value; }

private:
    QuibGraphic* ForeGround;
    QuibGraphic* BackGround;
    QuibBottonMode mode;
    QuibButtonProc userProcedure = nullptr;
    void* userData = nullptr;
    UInt32 onValue = 0;
    bool hilite = false;
    float alpha = 0.7f;  // a step button's face when not pressed
};
