// Controls: plain objects in a tree under each window's root control.
#include "PlatformUI/Controls.h"

#include <algorithm>

#include "PlatformUI/CarbonEvents.h"
#include "PlatformUI/PlatformUIPrivate.h"

namespace {

// Classes live as long as the process, as registered classes do.
std::vector<std::unique_ptr<OpaqueToolboxObjectClassRef>>& classes() {
    static std::vector<std::unique_ptr<OpaqueToolboxObjectClassRef>> all;
    return all;
}

OSStatus createControl(WindowRef window, const Rect* bounds, ControlRef* outControl,
                       ToolboxObjectClassRef controlClass) {
    if (!window || !bounds || !outControl) return paramErr;
    auto* c = new OpaqueControlRef;
    c->window = window;
    c->bounds = *bounds;
    c->controlClass = controlClass;
    c->container = &window->root;
    window->root.embedded.push_back(c);
    platform_ui::invalidateRect(window, *bounds);
    *outControl = c;
    return noErr;
}

void detach(ControlRef control) {
    if (ControlRef container = control->container) std::erase(container->embedded, control);
    control->container = nullptr;
}

void setValue(ControlRef c, SInt32 value) {
    value = std::clamp(value, c->minimum, std::max(c->minimum, c->maximum));
    if (value == c->value) return;
    c->value = value;
    InvalidateControl(c);
    platform_ui::dispatchControlEvent(c, kEventControlValueFieldChanged);
}

}  // namespace

namespace platform_ui {

void disposeControlTree(ControlRef control) {
    std::vector<ControlRef> all{control};
    for (size_t i = 0; i < all.size(); ++i) all.insert(all.end(), all[i]->embedded.begin(), all[i]->embedded.end());
    WindowRef window = control->window;
    for (ControlRef c : all)
        if (window->pressed == c) window->pressed = nullptr, window->trackProc = nullptr;
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        (*it)->embedded.clear();
        if (*it != &window->root) delete *it;
    }
}

std::vector<ControlRef> drawingOrder(ControlRef top) {
    std::vector<ControlRef> order;
    std::vector<ControlRef> stack{top};
    while (!stack.empty()) {
        ControlRef c = stack.back();
        stack.pop_back();
        if (!c->visible) continue;
        order.push_back(c);
        stack.insert(stack.end(), c->embedded.rbegin(), c->embedded.rend());
    }
    return order;
}

ControlRef hitControl(WindowRef window, int x, int y) {
    ControlRef hit = &window->root;
    for (;;) {
        ControlRef inner = nullptr;
        for (auto it = hit->embedded.rbegin(); it != hit->embedded.rend() && !inner; ++it) {
            const Rect& b = (*it)->bounds;
            if ((*it)->visible && x >= b.left && x < b.right && y >= b.top && y < b.bottom) inner = *it;
        }
        if (!inner) return hit;
        hit = inner;
    }
}

}  // namespace platform_ui

OSStatus RegisterToolboxObjectClass(CFStringRef classID, ToolboxObjectClassRef, UInt32 numEvents,
                                    const EventTypeSpec* events, EventHandlerUPP handler, void* userData,
                                    ToolboxObjectClassRef* outClass) {
    if (!classID || !outClass) return paramErr;
    const std::string identifier = CFStringGetUTF8(classID);
    for (auto& c : classes())
        if (c->identifier == identifier) return errAlreadyRegistered;
    auto record = std::make_unique<OpaqueToolboxObjectClassRef>();
    record->identifier = identifier;
    if (handler) InstallEventHandler(&record->target, handler, numEvents, events, userData, nullptr);
    *outClass = record.get();
    classes().push_back(std::move(record));
    return noErr;
}

OSStatus CreateCustomControl(WindowRef window, const Rect* bounds, const ControlDefSpec* def, CFDictionaryRef,
                             ControlRef* outControl) {
    if (!def || def->defType != kControlDefObjectClass || !def->u.classRef) return paramErr;
    return createControl(window, bounds, outControl, def->u.classRef);
}

OSStatus CreateUserPaneControl(WindowRef window, const Rect* bounds, UInt32, ControlRef* outControl) {
    return createControl(window, bounds, outControl, nullptr);
}

void DisposeControl(ControlRef control) {
    if (!control || control == &control->window->root) return;
    platform_ui::invalidateRect(control->window, control->bounds);
    detach(control);
    platform_ui::disposeControlTree(control);
}

OSStatus GetRootControl(WindowRef window, ControlRef* outControl) {
    if (!window || !outControl) return paramErr;
    *outControl = &window->root;
    return noErr;
}

OSStatus EmbedControl(ControlRef control, ControlRef container) {
    if (!control || !container || control == container || control->window != container->window) return paramErr;
    for (ControlRef c = container; c; c = c->container)
        if (c == control) return paramErr;  // would embed a control in itself
    detach(control);
    control->container = container;
    container->embedded.push_back(control);
    InvalidateControl(control);
    return noErr;
}

OSStatus HIViewAddSubview(HIViewRef parent, HIViewRef child) { return EmbedControl(child, parent); }

WindowRef GetControlOwner(ControlRef control) { return control ? control->window : nullptr; }

Rect* GetControlBounds(ControlRef control, Rect* bounds) {
    if (control && bounds) *bounds = control->bounds;
    return bounds;
}

void SetControlBounds(ControlRef control, const Rect* bounds) {
    if (!control || !bounds) return;
    platform_ui::invalidateRect(control->window, control->bounds);
    control->bounds = *bounds;
    InvalidateControl(control);
}

void SizeControl(ControlRef control, SInt16 width, SInt16 height) {
    if (!control) return;
    Rect r = control->bounds;
    r.right = SInt16(r.left + width);
    r.bottom = SInt16(r.top + height);
    SetControlBounds(control, &r);
}

SInt32 GetControl32BitValue(ControlRef c) { return c ? c->value : 0; }
void SetControl32BitValue(ControlRef c, SInt32 value) {
    if (c) setValue(c, value);
}
SInt32 GetControl32BitMinimum(ControlRef c) { return c ? c->minimum : 0; }
void SetControl32BitMinimum(ControlRef c, SInt32 minimum) {
    if (!c) return;
    c->minimum = minimum;
    setValue(c, c->value);
}
SInt32 GetControl32BitMaximum(ControlRef c) { return c ? c->maximum : 0; }
void SetControl32BitMaximum(ControlRef c, SInt32 maximum) {
    if (!c) return;
    c->maximum = maximum;
    setValue(c, c->value);
}
SInt16 GetControlValue(ControlRef c) { return SInt16(GetControl32BitValue(c)); }
void SetControlValue(ControlRef c, SInt16 value) { SetControl32BitValue(c, value); }
SInt16 GetControlMinimum(ControlRef c) { return SInt16(GetControl32BitMinimum(c)); }
SInt16 GetControlMaximum(ControlRef c) { return SInt16(GetControl32BitMaximum(c)); }

SRefCon GetControlReference(ControlRef c) { return c ? c->reference : nullptr; }
void SetControlReference(ControlRef c, SRefCon data) {
    if (c) c->reference = data;
}

void ShowControl(ControlRef c) {
    if (!c || c->visible) return;
    c->visible = true;
    InvalidateControl(c);
}

void HideControl(ControlRef c) {
    if (!c || !c->visible) return;
    c->visible = false;
    InvalidateControl(c);
}

Boolean IsControlVisible(ControlRef c) {
    for (; c; c = c->container)
        if (!c->visible) return false;
    return true;
}

void Draw1Control(ControlRef control) {
    if (!control || !IsControlVisible(control)) return;
    for (ControlRef c : platform_ui::drawingOrder(control)) platform_ui::dispatchControlEvent(c, kEventControlDraw);
    platform_ui::markShown(control->window, control->bounds);
    platform_ui::copyToScreen(control->window);
}

void InvalidateControl(ControlRef c) {
    if (c) platform_ui::invalidateRect(c->window, c->bounds);
}
