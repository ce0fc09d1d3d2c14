// QuibPane: a container with a background picture. It has no value and no
// control of its own, only two one-pixel controls at its corners that bring
// it window updates.
#pragma once
#include "Quib/QuibControl.h"
#include "Quib/QuibGraphic.h"

class QuibPane : public QuibCtrl {
public:
    QuibPane(QuibMan* chief, eRect* where, QuibGraphic* background);
    ~QuibPane() override;

    void draw(CGContextRef context, UInt32 portHeight) override;
    void mouseDown(Point*, bool, bool) override {}
    void mouseTrack(Point*, bool, bool) override {}
    void mouseUp(Point*, bool, bool) override {}
    bool isControlRef(ControlRef ref) override;
    QuibCtrl* getChild(ControlRef ref) override;
    bool providesForeignControls() override { return true; }
    void initForeignControls(ControlDefSpec& definition) override;

private:
    QuibGraphic* BackGround;
    ControlRef upperLeft = nullptr;
    ControlRef lowerRight = nullptr;
};
