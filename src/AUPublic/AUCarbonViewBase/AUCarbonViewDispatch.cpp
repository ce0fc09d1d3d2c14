// AUCarbonViewBase::ComponentEntryDispatch: the editor component's selectors.
#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"

OSStatus AUCarbonViewBase::ComponentEntryDispatch(ComponentParameters* params, AUCarbonViewBase* This) {
    if (!This) return paramErr;
    switch (params->what) {
        case kAudioUnitCarbonViewCreateSelect: {
            auto unit = ComponentParamPtr<AudioUnit>(params, 5);
            auto window = ComponentParamPtr<WindowRef>(params, 4);
            auto parent = ComponentParamPtr<ControlRef>(params, 3);
            auto location = ComponentParamPtr<const Float32Point*>(params, 2);
            auto size = ComponentParamPtr<const Float32Point*>(params, 1);
            auto outControl = ComponentParamPtr<ControlRef*>(params, 0);
            if (!unit || !window || !parent || !location || !size || !outControl) return paramErr;
            return This->CreateCarbonView(unit, window, parent, *location, *size, *outControl);
        }
        case kAudioUnitCarbonViewSetEventListenerSelect:
            This->mEventListener = ComponentParamPtr<AudioUnitCarbonViewEventListener>(params, 1);
            This->mEventListenerUserData = ComponentParamPtr<void*>(params, 0);
            return noErr;
        default: return ComponentBase::ComponentEntryDispatch(params, This);
    }
}
