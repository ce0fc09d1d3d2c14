// AUCarbonViewBase: view creation, the pane, and the bound controls.
#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"

#include <algorithm>

#include "Platform/Log.h"
#include "PlatformUI/Controls.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"

AUCarbonViewBase::AUCarbonViewBase(ComponentInstance instance) : ComponentBase(instance) {
    AUListenerCreate(ParameterListener, this, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode, 0.1f, &mParameterListener);
}

AUCarbonViewBase::~AUCarbonViewBase() {
    if (mCarbonPane) DisposeControl(mCarbonPane);
    for (AUCarbonViewControl* control : mControlList) {
        // A later view must not notify through a control that is gone.
        if (AUCarbonViewControl::mLastControl == control) AUCarbonViewControl::mLastControl = nullptr;
        delete control;
    }
    AUListenerDispose(mParameterListener);
}

OSStatus AUCarbonViewBase::CreateCarbonView(AudioUnit audioUnit, WindowRef window, ControlRef parentControl,
                                            const Float32Point& location, const Float32Point& size,
                                            ControlRef& outControl) {
    mEditAudioUnit = audioUnit;
    mCarbonWindow = window;

    Rect area;
    area.top = SInt16(location.y);
    area.left = SInt16(location.x);
    area.bottom = SInt16(area.top + size.y);
    area.right = SInt16(area.left + size.x);
    if (OSStatus err = CreateUserPaneControl(window, &area, kControlSupportsEmbedding, &mCarbonPane); err != noErr)
        return err;
    outControl = mCarbonPane;

    const EventTypeSpec paneEvents[] = {{kEventClassControl, kEventControlClick}};
    WantEventTypes(GetControlEventTarget(mCarbonPane), 1, paneEvents);
    const EventTypeSpec windowEvents[] = {{kEventClassWindow, kEventWindowClosed}};
    WantEventTypes(GetWindowEventTarget(window), 1, windowEvents);

    WindowAttributes attributes = 0;
    GetWindowAttributes(window, &attributes);
    if (!(attributes & kWindowCompositingAttribute)) {
        ::EmbedControl(mCarbonPane, parentControl);
        mXOffset = location.x;
        mYOffset = location.y;
    } else {
        HIViewAddSubview(parentControl, mCarbonPane);
        mXOffset = mYOffset = 0;
    }

    mBottomRight = {0, 0};
    const OSStatus result = CreateUI(mXOffset, mYOffset);
    if (mBottomRight.h != 0 && mBottomRight.v != 0)
        SizeControl(mCarbonPane, SInt16(mBottomRight.h - mXOffset), SInt16(mBottomRight.v - mYOffset));
    // The engine never notifies: without this every control would open at its minimum.
    Update(true);
    return result;
}

OSStatus AUCarbonViewBase::CreateUI(Float32, Float32) { return noErr; }

bool AUCarbonViewBase::HandleEvent(EventRef event) {
    const UInt32 eventClass = GetEventClass(event), kind = GetEventKind(event);
    if (eventClass == kEventClassControl && kind == kEventControlClick) {
        ControlRef control = nullptr;
        GetEventParameter(event, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
        if (control == mCarbonPane) {
            ClearKeyboardFocus(mCarbonWindow);
            return true;
        }
    } else if (eventClass == kEventClassWindow && kind == kEventWindowClosed) {
        PlatformLog("caught window-closed\n");
    }
    return false;
}

void AUCarbonViewBase::EmbedControl(ControlRef control) {
    Rect bounds;
    GetControlBounds(control, &bounds);
    mBottomRight.h = std::max(mBottomRight.h, bounds.right);
    mBottomRight.v = std::max(mBottomRight.v, bounds.bottom);
    WindowAttributes attributes = 0;
    GetWindowAttributes(mCarbonWindow, &attributes);
    if (attributes & kWindowCompositingAttribute)
        HIViewAddSubview(mCarbonPane, control);
    else
        ::EmbedControl(control, mCarbonPane);
}

void AUCarbonViewBase::AddCarbonControl(AUCarbonViewControl::ControlType type, const AUVParameter& param,
                                        ControlRef control) {
    EmbedControl(control);
    auto* bound = new AUCarbonViewControl(this, mParameterListener, type, param, control);
    bound->Bind();
    AddControl(bound);
}

void AUCarbonViewBase::AddControl(AUCarbonViewControl* control) {
    if (std::find(mControlList.begin(), mControlList.end(), control) == mControlList.end())
        mControlList.push_back(control);
}

void AUCarbonViewBase::RemoveControl(AUCarbonViewControl* control) {
    auto found = std::find(mControlList.begin(), mControlList.end(), control);
    if (found == mControlList.end()) return;
    mControlList.erase(found);
    if (AUCarbonViewControl::mLastControl == control) AUCarbonViewControl::mLastControl = nullptr;
    delete control;
}

void AUCarbonViewBase::Update(bool toControls) {
    for (AUCarbonViewControl* control : mControlList) {
        if (toControls)
            control->ParameterToControl(control->GetParameter().GetValue());
        else
            AUParameterListenerNotify(mParameterListener, control, &control->GetParameter());
    }
}

void AUCarbonViewBase::TellHost(const AudioUnitParameter& parameter, AudioUnitCarbonViewEventID event) {
    if (mEventListener) mEventListener(mEventListenerUserData, mComponentInstance, &parameter, event, nullptr);
}

void AUCarbonViewBase::ParameterListener(void*, void* object, const AudioUnitParameter*, Float32 value) {
    static_cast<AUCarbonViewControl*>(object)->ParameterToControl(value);
}
