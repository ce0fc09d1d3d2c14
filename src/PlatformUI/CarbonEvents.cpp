// Carbon events over our targets: handlers newest first, unhandled events
// passed from a control to its class, its containers and its window.
#include "PlatformUI/CarbonEvents.h"

#include <algorithm>
#include <cstring>

#include "PlatformUI/PlatformUIPrivate.h"

bool OpaqueEventHandlerRef::wants(UInt32 eventClass, UInt32 kind) const {
    return std::any_of(types.begin(), types.end(),
                       [&](const EventTypeSpec& t) { return t.eventClass == eventClass && t.eventKind == kind; });
}

OpaqueEventTargetRef::~OpaqueEventTargetRef() {
    for (EventHandlerRef h : handlers) h->target = nullptr;
}

namespace platform_ui {

InputState& currentInput() {
    thread_local InputState state;
    return state;
}

OSStatus dispatchToTarget(EventTargetRef target, EventRef event) {
    // A copy: a handler may install or remove handlers while it runs.
    const std::vector<EventHandlerRef> handlers = target->handlers;
    for (EventHandlerRef h : handlers) {
        if (std::find(target->handlers.begin(), target->handlers.end(), h) == target->handlers.end()) continue;
        if (!h->wants(event->eventClass, event->kind)) continue;
        const OSStatus result = h->proc(nullptr, event, h->userData);
        if (result != eventNotHandledErr) return result;
    }
    return eventNotHandledErr;
}

OSStatus dispatchControlEvent(ControlRef control, UInt32 kind, bool controlOnly) {
    OpaqueEventRef event{kEventClassControl, kind, control, control->window};
    return dispatchControlEvent(control, event, controlOnly);
}

OSStatus dispatchControlEvent(ControlRef control, OpaqueEventRef& event, bool controlOnly) {
    OSStatus result = dispatchToTarget(&control->target, &event);
    if (result != eventNotHandledErr || controlOnly) return result;
    if (control->controlClass) {
        result = dispatchToTarget(&control->controlClass->target, &event);
        if (result != eventNotHandledErr) return result;
    }
    for (ControlRef c = control->container; c; c = c->container) {
        result = dispatchToTarget(&c->target, &event);
        if (result != eventNotHandledErr) return result;
    }
    return dispatchToTarget(&control->window->target, &event);
}

}  // namespace platform_ui

EventTargetRef GetWindowEventTarget(WindowRef window) { return &window->target; }
EventTargetRef GetControlEventTarget(ControlRef control) { return &control->target; }

OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes, const EventTypeSpec* list,
                             void* userData, EventHandlerRef* outRef) {
    if (!target || !handler || (numTypes && !list)) return paramErr;
    auto* h = new OpaqueEventHandlerRef{target, handler, userData, {list, list + numTypes}};
    target->handlers.insert(target->handlers.begin(), h);
    if (outRef) *outRef = h;
    return noErr;
}

OSStatus AddEventTypesToHandler(EventHandlerRef handler, UInt32 numTypes, const EventTypeSpec* list) {
    if (!handler || (numTypes && !list)) return paramErr;
    handler->types.insert(handler->types.end(), list, list + numTypes);
    return noErr;
}

OSStatus RemoveEventHandler(EventHandlerRef handler) {
    if (!handler) return paramErr;
    if (EventTargetRef target = handler->target) std::erase(target->handlers, handler);
    delete handler;
    return noErr;
}

OSStatus SendControlEvent(ControlRef control, UInt32 kind) {
    if (!control) return paramErr;
    return platform_ui::dispatchControlEvent(control, kind);
}

OSStatus SendWindowEvent(WindowRef window, UInt32 eventClass, UInt32 kind) {
    if (!window) return paramErr;
    OpaqueEventRef event{eventClass, kind, nullptr, window};
    return platform_ui::dispatchToTarget(&window->target, &event);
}

UInt32 GetEventClass(EventRef event) { return event ? event->eventClass : 0; }
UInt32 GetEventKind(EventRef event) { return event ? event->kind : 0; }

OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType,
                           EventParamType* outActualType, UInt32 bufferSize, UInt32* outActualSize, void* outData) {
    if (event && name == kEventParamMouseWheelDelta && desiredType == typeSInt32) {
        if (bufferSize < sizeof(SInt32) || !outData) return paramErr;
        std::memcpy(outData, &event->wheelDelta, sizeof(SInt32));
        if (outActualType) *outActualType = typeSInt32;
        if (outActualSize) *outActualSize = sizeof(SInt32);
        return noErr;
    }
    if (!event || name != kEventParamDirectObject) return eventParameterNotFoundErr;
    const void* value;
    if (desiredType == typeControlRef && event->control)
        value = &event->control;
    else if (desiredType == typeWindowRef && event->window)
        value = &event->window;
    else
        return eventParameterNotFoundErr;
    if (bufferSize < sizeof(void*) || !outData) return paramErr;
    std::memcpy(outData, value, sizeof(void*));
    if (outActualType) *outActualType = desiredType;
    if (outActualSize) *outActualSize = sizeof(void*);
    return noErr;
}

UInt32 GetCurrentEventKeyModifiers() { return platform_ui::currentInput().modifiers; }

void GetGlobalMouse(Point* globalMouse) {
    if (globalMouse) *globalMouse = platform_ui::currentInput().mouse;
}

EventTime GetCurrentEventTime() { return platform_ui::currentInput().time; }
