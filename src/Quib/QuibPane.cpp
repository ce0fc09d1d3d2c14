// QuibPane: the corner controls and the background.
#include "Quib/QuibPane.h"

#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"

QuibPane::QuibPane(QuibMan* chief, eRect* r, QuibGraphic* background) : QuibCtrl(chief, r), BackGround(background) {
    type = kQuib_Pane;
    tolerance = 0;
}

QuibPane::~QuibPane() {
    if (upperLeft) DisposeControl(upperLeft);
    if (lowerRight) DisposeControl(lowerRight);
}

void QuibPane::initForeignControls(ControlDefSpec& definition) {
    if (!BackGround || !BackGround->getImage()) {
        opaque = false;  // clipping falls through to the children
        return;
    }
    AUCarbonViewBase* view = Chief->getAUCarbonViewBase();
    const Rect corners[] = {{SInt16(where.y), SInt16(where.x), SInt16(where.y + 1), SInt16(where.x + 1)},
                            {SInt16(where.y + where.h - 1), SInt16(where.x + where.w - 1), SInt16(where.y + where.h),
                             SInt16(where.x + where.w)}};
    CreateCustomControl(view->GetCarbonWindow(), &corners[0], &definition, nullptr, &upperLeft);
    CreateCustomControl(view->GetCarbonWindow(), &corners[1], &definition, nullptr, &lowerRight);
    if (upperLeft) view->EmbedControl(upperLeft);
    if (lowerRight) view->EmbedControl(lowerRight);
}

bool QuibPane::isControlRef(ControlRef ref) {
    return (ref && (ref == upperLeft || ref == lowerRight)) || QuibCtrl::isControlRef(ref);
}

QuibCtrl* QuibPane::getChild(ControlRef ref) {
    if (ref && (ref == upperLeft || ref == lowerRight)) return this;
    return QuibCtrl::getChild(ref);
}

void QuibPane::draw(CGContextRef context, UInt32 portHeight) {
    if (!BackGround || !BackGround->getImage()) return;
    CGRect r;
    where.to(&r, portHeight);
    CGContextDrawImage(context, r, BackGround->getImage());
}
