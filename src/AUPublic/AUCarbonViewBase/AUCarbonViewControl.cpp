// AUCarbonViewControl: control value <-> parameter value, and the gestures.
#include "AUPublic/AUCarbonViewBase/AUCarbonViewControl.h"

#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"
#include "PlatformUI/Controls.h"

AUCarbonViewControl* AUCarbonViewControl::mLastControl = nullptr;

AUCarbonViewControl::AUCarbonViewControl(AUCarbonViewBase* ownerView, AUParameterListenerRef listener, ControlType type,
                                         const AUVParameter& param, ControlRef control)
    : mOwnerView(ownerView), mListener(listener), mType(type), mParam(param), mControl(control) {
    SetControlReference(control, this);
}

AUCarbonViewControl::~AUCarbonViewControl() { AUListenerRemoveParameter(mListener, this, &mParam); }

void AUCarbonViewControl::Bind() {
    AUListenerAddParameter(mListener, this, &mParam);
    const EventTypeSpec events[] = {{kEventClassControl, kEventControlValueFieldChanged},
                                    {kEventClassControl, kEventControlHit},
                                    {kEventClassControl, kEventControlClick}};
    WantEventTypes(GetControlEventTarget(mControl), 3, events);
}

void AUCarbonViewControl::SetValueFract(double fraction) {
    const SInt32 minimum = GetControl32BitMinimum(mControl), maximum = GetControl32BitMaximum(mControl);
    SetControl32BitValue(mControl, SInt32(fraction * (maximum - minimum) + minimum + 0.5));
}

double AUCarbonViewControl::GetValueFract() {
    const SInt32 minimum = GetControl32BitMinimum(mControl), maximum = GetControl32BitMaximum(mControl);
    if (maximum == minimum) return 0;
    return double(GetControl32BitValue(mControl) - minimum) / double(maximum - minimum);
}

void AUCarbonViewControl::SetValue(long value) { SetControlValue(mControl, SInt16(value)); }
long AUCarbonViewControl::GetValue() { return GetControlValue(mControl); }

void AUCarbonViewControl::ParameterToControl(Float32 value) {
    // The control follows; its value-changed event must not write the parameter back.
    mFollowingParameter = true;
    SetValueFract(AUParameterValueToLinear(value, &mParam));
    mFollowingParameter = false;
}

void AUCarbonViewControl::ControlToParameter() {
    mParam.SetValue(mListener, this, AUParameterValueFromLinear(Float32(GetValueFract()), &mParam));
}

void AUCarbonViewControl::NotifyLastControl() {
    if (mLastControl && mLastControl != this)
        AUParameterListenerNotify(mLastControl->mListener, mLastControl, &mLastControl->mParam);
    mLastControl = this;
}

void AUCarbonViewControl::TellHost(SInt32 event) { mOwnerView->TellHost(mParam, event); }

bool AUCarbonViewControl::HandleEvent(EventRef event) {
    if (GetEventClass(event) != kEventClassControl) return false;
    switch (GetEventKind(event)) {
        case kEventControlValueFieldChanged:
            if (!mFollowingParameter) ControlToParameter();
            return true;
        case kEventControlClick:
            NotifyLastControl();
            TellHost(kAudioUnitCarbonViewEvent_MouseDownInControl);
            return false;
        case kEventControlHit:
            // Also when this control was the last one clicked: the host learns that the gesture ended.
            NotifyLastControl();
            TellHost(kAudioUnitCarbonViewEvent_MouseUpInControl);
            return false;
        default: return false;
    }
}
