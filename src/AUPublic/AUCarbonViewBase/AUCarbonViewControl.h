// AUCarbonViewControl: one control bound to one parameter in both directions.
#pragma once
#include "AUPublic/AUCarbonViewBase/AUVParameter.h"
#include "AUPublic/AUCarbonViewBase/CarbonEventHandler.h"
#include "PlatformUI/AUListener.h"

class AUCarbonViewBase;

class AUCarbonViewControl : public CarbonEventHandler {
public:
    enum ControlType { kTypeContinuous = 0, kTypeDiscrete = 1, kTypeText = 2 };

    AUCarbonViewControl(AUCarbonViewBase* ownerView, AUParameterListenerRef listener, ControlType type,
                        const AUVParameter& param, ControlRef control);
    ~AUCarbonViewControl() override;

    bool HandleEvent(EventRef event) override;
    virtual void Bind();
    virtual void SetValueFract(double fraction);
    virtual double GetValueFract();
    virtual void SetTextValue(CFStringRef) {}
    virtual CFStringRef GetTextValue() { return nullptr; }
    virtual void SetValue(long value);
    virtual long GetValue();

    void ParameterToControl(Float32 value);
    void ControlToParameter();

    ControlType GetType() const { return mType; }
    const AUVParameter& GetParameter() const { return mParam; }
    ControlRef GetControl() const { return mControl; }

    // The control most recently clicked, across views; a closing view clears it.
    static AUCarbonViewControl* mLastControl;

private:
    void NotifyLastControl();
    void TellHost(SInt32 event);

    AUCarbonViewBase* mOwnerView;
    AUParameterListenerRef mListener;
    ControlType mType;
    AUVParameter mParam;
    ControlRef mControl;
    bool mFollowingParameter = false;  // the value change comes from the parameter
};
