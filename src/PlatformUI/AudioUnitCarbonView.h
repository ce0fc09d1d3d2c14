// Host-side calls of an editor component: create its view in a window for a
// unit, and hear of the gestures on its controls.
#pragma once
#include "Platform/AudioUnitTypes.h"
#include "PlatformUI/CarbonTypes.h"

using AudioUnitCarbonView = ComponentInstance;
using AudioUnitCarbonViewEventID = SInt32;
enum : AudioUnitCarbonViewEventID {
    kAudioUnitCarbonViewEvent_MouseDownInControl = 0,
    kAudioUnitCarbonViewEvent_MouseUpInControl = 1,
};
using AudioUnitCarbonViewEventListener = void (*)(void* userData, AudioUnitCarbonView view,
                                                  const AudioUnitParameter* parameter, AudioUnitCarbonViewEventID event,
                                                  const void* eventParam);

enum : SInt16 {
    kAudioUnitCarbonViewCreateSelect = 0x0301,
    kAudioUnitCarbonViewSetEventListenerSelect = 0x0302,
};

// The editor component a unit names (kAudioUnitProperty_GetUIComponentList).
enum : OSType { kAudioUnitCarbonViewComponentType = FourCC("auvw") };

OSStatus AudioUnitCarbonViewCreate(AudioUnitCarbonView view, AudioUnit unit, WindowRef window, ControlRef parentControl,
                                   const Float32Point* location, const Float32Point* size, ControlRef* outControl);
OSStatus AudioUnitCarbonViewSetEventListener(AudioUnitCarbonView view, AudioUnitCarbonViewEventListener listener,
                                             void* userData);
