// QuibCtrl: the tree of controls, clipping, visibility, the default and the redraw filter.
#include "Quib/QuibControl.h"

#include <cmath>

#include "PlatformUI/QuickDraw.h"

QuibCtrl::QuibCtrl(QuibMan* chief, AUVParameter& parameter, eRect* r, QuibResolution resolution)
    : Chief(chief),
      auvp(parameter),
      Resolution(resolution),
      Range(parameter.ParamInfo().maxValue - parameter.ParamInfo().minValue),
      AUVPattached(true),
      where(*r),
      vizArea(*r) {}

QuibCtrl::QuibCtrl(QuibMan* chief, eRect* r, UInt32 range)
    : Chief(chief), Resolution(kQuib_res_1), Range(float(range)), AUVPattached(false), where(*r), vizArea(*r) {}

QuibCtrl::QuibCtrl(QuibMan* chief, eRect* r)
    : Chief(chief), Resolution(kQuib_res_0), Range(0), AUVPattached(false), where(*r), vizArea(*r) {}

QuibCtrl::~QuibCtrl() {
    if (carbonControl) DisposeControl(carbonControl);
}

void QuibCtrl::clip(bool all) {
    if (opaque) {
        Rect r;
        where.to(&r);
        FrameRect(&r);
    }
    if (!opaque || all)
        for (auto* child = children.get(); child; child = static_cast<QuibCtrl*>(child->getNext())) child->clip(false);
}

void QuibCtrl::setVisible(bool show) {
    if (carbonControl) {
        if (show) {
            ShowControl(carbonControl);
            becameVisible = true;
            Draw1Control(carbonControl);
        } else {
            HideControl(carbonControl);
        }
    }
    for (auto* child = children.get(); child; child = static_cast<QuibCtrl*>(child->getNext())) child->setVisible(show);
}

void QuibCtrl::setDefault() {
    if (!isAUVPattached() || !carbonControl || Range == 0) return;
    const AudioUnitParameterInfo& info = auvp.ParamInfo();
    const float fraction = (info.defaultValue - info.minValue) / Range;
    // Rounded, not truncated: 127 x (69 / 127) must give 69 back, not 68.99.
    SetControl32BitValue(carbonControl, SInt32(std::lround(float(GetControl32BitMaximum(carbonControl)) * fraction)));
}

void QuibCtrl::idle() {
    if (children) children->idle();
    if (next) static_cast<QuibCtrl*>(next.get())->idle();
}

bool QuibCtrl::isControlRef(ControlRef ref) {
    if (carbonControl == ref) return true;
    for (auto* child = children.get(); child; child = static_cast<QuibCtrl*>(child->getNext()))
        if (child->isControlRef(ref)) return true;
    return false;
}

QuibCtrl* QuibCtrl::getChild(ControlRef ref) {
    if (carbonControl == ref) return this;
    for (auto* child = children.get(); child; child = static_cast<QuibCtrl*>(child->getNext()))
        if (child->isControlRef(ref)) return child->getChild(ref);
    return nullptr;
}

QuibCtrl* QuibCtrl::addCtrl(std::unique_ptr<QuibCtrl> child) {
    QuibCtrl* added = child.get();
    if (children)
        children->append(std::move(child));
    else
        children = std::move(child);
    added->setDaddy(this);
    added->setOffset(where.x, where.y);
    Chief->registerCtrl(added);
    return added;
}

void QuibCtrl::setOffset(long dx, long dy) {
    where.offset(SInt32(dx), SInt32(dy));
    vizArea.offset(SInt32(dx), SInt32(dy));
    for (auto* child = children.get(); child; child = static_cast<QuibCtrl*>(child->getNext()))
        child->setOffset(dx, dy);
}

void QuibCtrl::shrinkForeBounds(long left, long top, long right, long bottom) {
    vizArea.x += SInt32(left);
    vizArea.y += SInt32(top);
    vizArea.w -= SInt32(left + right);
    vizArea.h -= SInt32(top + bottom);
}

bool QuibCtrl::mustUpdate() {
    if (!carbonControl) return true;
    const SInt32 value = GetControl32BitValue(carbonControl);
    const SInt32 diff = value - lastUpdatedValue;
    if (!Chief->isRelaxed() || becameVisible) {
        lastUpdatedValue = value;
        becameVisible = false;
        return true;
    }
    if (diff <= -tolerance || diff >= tolerance) {
        lastUpdatedValue = value;
        return true;
    }
    return false;
}

float QuibCtrl::valueFraction() const {
    const SInt32 maximum = controlMaximum();
    return maximum ? float(controlValue()) / float(maximum) : 0.0f;
}
