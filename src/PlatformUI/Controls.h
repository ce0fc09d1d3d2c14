// Controls: rectangles in a window with 32-bit values, a reference value,
// visibility and embedding; custom control classes registered by identifier.
#pragma once
#include "PlatformUI/CarbonTypes.h"

// Fails with errAlreadyRegistered when the identifier is taken in this process;
// the handler gets every listed event of every control of the class.
OSStatus RegisterToolboxObjectClass(CFStringRef classID, ToolboxObjectClassRef baseClass, UInt32 numEvents,
                                    const EventTypeSpec* events, EventHandlerUPP handler, void* userData,
                                    ToolboxObjectClassRef* outClass);

OSStatus CreateCustomControl(WindowRef window, const Rect* bounds, const ControlDefSpec* def, CFDictionaryRef initData,
                             ControlRef* outControl);
OSStatus CreateUserPaneControl(WindowRef window, const Rect* bounds, UInt32 features, ControlRef* outControl);
// Disposes of the control and every control embedded in it.
void DisposeControl(ControlRef control);

OSStatus GetRootControl(WindowRef window, ControlRef* outControl);
OSStatus EmbedControl(ControlRef control, ControlRef container);
OSStatus HIViewAddSubview(HIViewRef parent, HIViewRef child);
WindowRef GetControlOwner(ControlRef control);

Rect* GetControlBounds(ControlRef control, Rect* bounds);
void SetControlBounds(ControlRef control, const Rect* bounds);
void SizeControl(ControlRef control, SInt16 width, SInt16 height);

// Setting a value pins it to minimum...maximum, invalidates the control and
// sends value-field-changed (151) when it changed.
SInt32 GetControl32BitValue(ControlRef control);
void SetControl32BitValue(ControlRef control, SInt32 value);
SInt32 GetControl32BitMinimum(ControlRef control);
void SetControl32BitMinimum(ControlRef control, SInt32 minimum);
SInt32 GetControl32BitMaximum(ControlRef control);
void SetControl32BitMaximum(ControlRef control, SInt32 maximum);
SInt16 GetControlValue(ControlRef control);
void SetControlValue(ControlRef control, SInt16 value);
SInt16 GetControlMinimum(ControlRef control);
SInt16 GetControlMaximum(ControlRef control);

SRefCon GetControlReference(ControlRef control);
void SetControlReference(ControlRef control, SRefCon data);

void ShowControl(ControlRef control);
void HideControl(ControlRef control);
Boolean IsControlVisible(ControlRef control);
// Draws the control (and what it embeds) now, into the window's backing image.
void Draw1Control(ControlRef control);
// Marks the control to be drawn at the window's next update pass.
void InvalidateControl(ControlRef control);
