// CarbonEventHandler: installs handlers and removes them with the object.
#include "AUPublic/AUCarbonViewBase/CarbonEventHandler.h"

CarbonEventHandler::~CarbonEventHandler() {
    for (auto& [target, handler] : mHandlers) RemoveEventHandler(handler);
}

void CarbonEventHandler::WantEventTypes(EventTargetRef target, UInt32 count, const EventTypeSpec* types) {
    if (auto found = mHandlers.find(target); found != mHandlers.end()) {
        AddEventTypesToHandler(found->second, count, types);
        return;
    }
    EventHandlerRef handler = nullptr;
    if (InstallEventHandler(target, TheEventHandler, count, types, this, &handler) == noErr)
        mHandlers[target] = handler;
}

OSStatus CarbonEventHandler::TheEventHandler(EventHandlerCallRef, EventRef event, void* self) {
    return static_cast<CarbonEventHandler*>(self)->HandleEvent(event) ? OSStatus(noErr) : OSStatus(eventNotHandledErr);
}
