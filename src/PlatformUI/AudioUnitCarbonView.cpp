// Host-side calls of an editor component.
#include "PlatformUI/AudioUnitCarbonView.h"

#include "Platform/Components.h"

OSStatus AudioUnitCarbonViewCreate(AudioUnitCarbonView view, AudioUnit unit, WindowRef window, ControlRef parentControl,
                                   const Float32Point* location, const Float32Point* size, ControlRef* outControl) {
    return CallComponent(view, kAudioUnitCarbonViewCreateSelect, unit, window, parentControl, location, size,
                         outControl);
}

OSStatus AudioUnitCarbonViewSetEventListener(AudioUnitCarbonView view, AudioUnitCarbonViewEventListener listener,
                                             void* userData) {
    return CallComponent(view, kAudioUnitCarbonViewSetEventListenerSelect, reinterpret_cast<void*>(listener), userData);
}
