// Carbon events: handlers installed on targets (windows and controls), events
// with a class, a kind and a direct object, the key modifiers and the mouse.
#pragma once
#include "PlatformUI/CarbonTypes.h"

EventTargetRef GetWindowEventTarget(WindowRef window);
EventTargetRef GetControlEventTarget(ControlRef control);

// The newest handler of a target runs first; one that answers eventNotHandledErr
// passes the event on (for a control: its class, then its container, up to the window).
OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, UInt32 numTypes, const EventTypeSpec* list,
                             void* userData, EventHandlerRef* outRef);
OSStatus AddEventTypesToHandler(EventHandlerRef handler, UInt32 numTypes, const EventTypeSpec* list);
OSStatus RemoveEventHandler(EventHandlerRef handler);

// Events of a control or a window, sent to its target and released afterwards.
OSStatus SendControlEvent(ControlRef control, UInt32 kind);
OSStatus SendWindowEvent(WindowRef window, UInt32 eventClass, UInt32 kind);

UInt32 GetEventClass(EventRef event);
UInt32 GetEventKind(EventRef event);
// Only the direct object is carried: typeControlRef or typeWindowRef.
OSStatus GetEventParameter(EventRef event, EventParamName name, EventParamType desiredType,
                           EventParamType* outActualType, UInt32 bufferSize, UInt32* outActualSize, void* outData);

// The modifiers of the input event being handled (the press, during a drag).
UInt32 GetCurrentEventKeyModifiers();
// The pointer of the input event being handled, in global coordinates.
void GetGlobalMouse(Point* globalMouse);
// The time stamp of the input event being handled (the press, during a drag).
EventTime GetCurrentEventTime();
