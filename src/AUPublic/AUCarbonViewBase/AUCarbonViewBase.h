// AUCarbonViewBase: the editor component. It creates a pane in the host's
// window, lets the derived view build its controls there, and binds them to
// the edited unit's parameters through the listener service.
#pragma once
#include <vector>

#include "AUPublic/AUBase/ComponentBase.h"
#include "AUPublic/AUCarbonViewBase/AUCarbonViewControl.h"
#include "PlatformUI/AudioUnitCarbonView.h"

class AUCarbonViewBase : public ComponentBase, public CarbonEventHandler {
public:
    explicit AUCarbonViewBase(ComponentInstance instance);
    ~AUCarbonViewBase() override;

    virtual OSStatus CreateCarbonView(AudioUnit audioUnit, WindowRef window, ControlRef parentControl,
                                      const Float32Point& location, const Float32Point& size, ControlRef& outControl);
    // Builds the panel; the base builds nothing.
    virtual OSStatus CreateUI(Float32 xOffset, Float32 yOffset);
    bool HandleEvent(EventRef event) override;

    void EmbedControl(ControlRef control);
    void AddCarbonControl(AUCarbonViewControl::ControlType type, const AUVParameter& param, ControlRef control);
    void AddControl(AUCarbonViewControl* control);
    void RemoveControl(AUCarbonViewControl* control);
    // true: every bound control takes its parameter's value; false: the listener
    // service hears that every bound control's parameter changed.
    void Update(bool toControls);

    AudioUnit GetEditAudioUnit() const { return mEditAudioUnit; }
    WindowRef GetCarbonWindow() const { return mCarbonWindow; }
    ControlRef GetCarbonPane() const { return mCarbonPane; }
    const std::vector<AUCarbonViewControl*>& GetBoundControls() const { return mControlList; }
    // The host's gesture listener, told when a control is pressed (0) and released (1).
    void TellHost(const AudioUnitParameter& parameter, AudioUnitCarbonViewEventID event);

    static OSStatus ComponentEntryDispatch(ComponentParameters* params, AUCarbonViewBase* This);

protected:
    static void ParameterListener(void* view, void* object, const AudioUnitParameter* parameter, Float32 value);

    AudioUnit mEditAudioUnit = nullptr;
    AUParameterListenerRef mParameterListener = nullptr;
    AudioUnitCarbonViewEventListener mEventListener = nullptr;
    void* mEventListenerUserData = nullptr;
    std::vector<AUCarbonViewControl*> mControlList;
    WindowRef mCarbonWindow = nullptr;
    ControlRef mCarbonPane = nullptr;
    Point mBottomRight{0, 0};
    Float32 mXOffset = 0, mYOffset = 0;
};
