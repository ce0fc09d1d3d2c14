// CarbonEventHandler: one platform event handler per event target, routing
// the target's events to the virtual HandleEvent.
#pragma once
#include <unordered_map>

#include "PlatformUI/CarbonEvents.h"

class CarbonEventHandler {
public:
    CarbonEventHandler() = default;
    virtual ~CarbonEventHandler();
    CarbonEventHandler(const CarbonEventHandler&) = delete;
    CarbonEventHandler& operator=(const CarbonEventHandler&) = delete;

    // Adds the types to this object's handler on the target, installing it on first use.
    virtual void WantEventTypes(EventTargetRef target, UInt32 count, const EventTypeSpec* types);
    // True when the event was handled.
    virtual bool HandleEvent(EventRef event) = 0;

protected:
    std::unordered_map<EventTargetRef, EventHandlerRef> mHandlers;

private:
    static OSStatus TheEventHandler(EventHandlerCallRef, EventRef event, void* self);
};
