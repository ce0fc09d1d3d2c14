// The editor host frame and the parameter-listener service, driven through
// the host-side calls with the instrument as the edited unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "AUPublic/AUBase/ComponentEntryPoint.h"
#include "AUPublic/AUCarbonViewBase/AUCarbonViewBase.h"
#include "Binding/VelmoraEntry.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"
#include "PlatformUI/Controls.h"
#include "PlatformUI/RunLoop.h"
#include "PlatformUI/Windows.h"
#include "Velmora/VelmoraParameters.h"

namespace {

// What the next view's CreateUI does.
std::vector<Rect> gControlsToEmbed;
std::vector<Rect> gControlsToBind;
class TestView* gLastView = nullptr;

class TestView : public AUCarbonViewBase {
public:
    explicit TestView(ComponentInstance instance) : AUCarbonViewBase(instance) { gLastView = this; }
    ~TestView() override { gLastView = nullptr; }

    OSStatus CreateUI(Float32, Float32) override {
        for (const Rect& r : gControlsToEmbed) EmbedControl(newControl(r));
        for (const Rect& r : gControlsToBind) {
            ControlRef c = newControl(r);
            SetControl32BitMaximum(c, 12701);
            AddCarbonControl(AUCarbonViewControl::kTypeContinuous,
                             AUVParameter(GetEditAudioUnit(), kFilterAFc, kAudioUnitScope_Global, 0), c);
        }
        return noErr;
    }
    ControlRef newControl(const Rect& r) {
        ControlRef c = nullptr;
        CreateUserPaneControl(mCarbonWindow, &r, 0, &c);
        return c;
    }
    size_t ControlCount() const { return mControlList.size(); }
    AUCarbonViewControl* Bound(size_t i) const { return mControlList.at(i); }
};

OSStatus TestViewEntry(ComponentParameters* params, void* storage) {
    return ComponentEntryPoint<TestView>::Dispatch(params, storage);
}

std::vector<std::string> gLog;
void keepLog(const char* line) { gLog.emplace_back(line); }

struct Gesture {
    AudioUnitParameterID parameter;
    AudioUnitCarbonViewEventID event;
};
void hearGesture(void* user, AudioUnitCarbonView, const AudioUnitParameter* p, AudioUnitCarbonViewEventID event,
                 const void*) {
    static_cast<std::vector<Gesture>*>(user)->push_back({p->mParameterID, event});
}

class ViewFrame : public ::testing::Test {
protected:
    void SetUp() override {
        SetPlatformLogHook(keepLog);
        gLog.clear();
        gControlsToEmbed.clear();
        gControlsToBind.clear();
        ASSERT_EQ(OpenAComponent(RegisterVelmora(), &unit), noErr);
        ASSERT_EQ(AudioUnitInitialize(unit), noErr);
        static Component viewComponent =
            RegisterComponentEntry({FourCC("auvw"), FourCC("TsT1"), FourCC("KqVt"), 0, 0}, "Test View", TestViewEntry);
        ASSERT_EQ(OpenAComponent(viewComponent, &view), noErr);
        ASSERT_EQ(CreateOffscreenWindow(900, 640, 1.0, &window), noErr);
        GetRootControl(window, &root);
    }
    void TearDown() override {
        if (view) CloseComponent(view);  // hosts close the view before its window
        DisposeWindow(window);
        CloseComponent(unit);
        SetPlatformLogHook(nullptr);
    }
    OSStatus create(Float32Point location, Float32Point size) {
        return AudioUnitCarbonViewCreate(view, unit, window, root, &location, &size, &pane);
    }
    Float32 parameter(AudioUnitParameterID id) {
        Float32 v = -1;
        AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v);
        return v;
    }

    AudioUnit unit = nullptr;
    ComponentInstance view = nullptr;
    WindowRef window = nullptr;
    ControlRef root = nullptr;
    ControlRef pane = nullptr;
};

}  // namespace

TEST_F(ViewFrame, NullArgumentsCreateNothing) {
    Float32Point where{0, 0}, size{100, 100};
    EXPECT_EQ(AudioUnitCarbonViewCreate(view, unit, nullptr, root, &where, &size, &pane), paramErr);
    EXPECT_EQ(AudioUnitCarbonViewCreate(view, unit, window, root, nullptr, &size, &pane), paramErr);
    EXPECT_EQ(AudioUnitCarbonViewCreate(view, unit, window, root, &where, &size, nullptr), paramErr);
    EXPECT_EQ(gLastView->GetCarbonPane(), nullptr);
}

TEST_F(ViewFrame, PaneKeepsTheHostsSizeOrFitsItsControls) {
    ASSERT_EQ(create({10, 20}, {300, 200}), noErr);
    Rect b;
    GetControlBounds(pane, &b);
    EXPECT_EQ(b.right - b.left, 300);
    EXPECT_EQ(b.bottom - b.top, 200);
    CloseComponent(view);

    gControlsToEmbed = {{100, 100, 573, 400}, {20, 30, 120, 841}};
    ASSERT_EQ(OpenAComponent(FindNextComponent(nullptr, {FourCC("auvw"), FourCC("TsT1"), 0, 0, 0}), &view), noErr);
    ASSERT_EQ(create({10, 20}, {300, 200}), noErr);
    GetControlBounds(pane, &b);
    EXPECT_EQ(b.right - b.left, 831);
    EXPECT_EQ(b.bottom - b.top, 553);
}

TEST_F(ViewFrame, BoundControlOpensAtTheValueAndMapsTheRangeOntoItsSteps) {
    gControlsToBind = {{40, 40, 80, 80}};
    AudioUnitSetParameter(unit, kFilterAFc, kAudioUnitScope_Global, 0, 69, 0);
    ASSERT_EQ(create({0, 0}, {200, 200}), noErr);
    ASSERT_EQ(gLastView->ControlCount(), 1u);
    AUCarbonViewControl* bound = gLastView->Bound(0);
    gLastView->AddControl(bound);
    EXPECT_EQ(gLastView->ControlCount(), 1u);

    ControlRef c = bound->GetControl();
    EXPECT_EQ(GetControl32BitValue(c), 6901);  // 69 of 0...127 is 6900.54 of 0...12701
    bound->ParameterToControl(0);
    EXPECT_EQ(GetControl32BitValue(c), 0);
    bound->ParameterToControl(127);
    EXPECT_EQ(GetControl32BitValue(c), 12701);
    // Following the parameter never writes it back.
    EXPECT_EQ(parameter(kFilterAFc), 69);

    SetControl32BitValue(c, 3000);  // as a drag does
    EXPECT_NEAR(parameter(kFilterAFc), 3000 * 127.0 / 12701, 1e-4);
}

TEST_F(ViewFrame, ControlsFollowChangesFromAnotherThreadCoalescedAndNeverEchoed) {
    gControlsToBind = {{40, 40, 80, 80}, {100, 40, 140, 80}};
    ASSERT_EQ(create({0, 0}, {200, 200}), noErr);
    ControlRef first = gLastView->Bound(0)->GetControl(), second = gLastView->Bound(1)->GetControl();

    // A drag on the first control reaches the second at the next notification, not the first.
    SetControl32BitValue(first, 12701);
    EXPECT_EQ(GetControl32BitValue(second), 6901);
    RunLoopRunFor(CFRunLoopGetCurrent(), 0.15);
    EXPECT_EQ(GetControl32BitValue(second), 12701);

    // Automation from another thread: many writes, one notification with the last value.
    std::thread automation([&] {
        AudioUnitParameter p{unit, kFilterAFc, kAudioUnitScope_Global, 0};
        for (int v = 0; v <= 100; ++v) AUParameterSet(nullptr, nullptr, &p, Float32(v), 0);
    });
    automation.join();
    RunLoopRunFor(CFRunLoopGetCurrent(), 0.15);
    EXPECT_EQ(GetControl32BitValue(first), 10001);
    EXPECT_EQ(GetControl32BitValue(second), 10001);
}

TEST_F(ViewFrame, GesturesReachTheHostAndClosingTheWindowIsReportedOnce) {
    gControlsToBind = {{40, 40, 80, 80}};
    ASSERT_EQ(create({0, 0}, {200, 200}), noErr);
    std::vector<Gesture> gestures;
    ASSERT_EQ(AudioUnitCarbonViewSetEventListener(view, hearGesture, &gestures), noErr);

    SendWindowMouse(window, WindowMouse::press, 50, 50, 0, 1.0);
    SendWindowMouse(window, WindowMouse::release, 50, 50, 0, 1.1);
    ASSERT_EQ(gestures.size(), 2u);
    EXPECT_EQ(gestures[0].event, kAudioUnitCarbonViewEvent_MouseDownInControl);
    EXPECT_EQ(gestures[1].event, kAudioUnitCarbonViewEvent_MouseUpInControl);
    EXPECT_EQ(gestures[1].parameter, kFilterAFc);

    SendWindowCloseRequest(window);
    SendWindowCloseRequest(window);
    EXPECT_EQ(std::count(gLog.begin(), gLog.end(), "caught window-closed\n"), 1);
}

TEST_F(ViewFrame, ClosingWithNotificationsPendingIsSafe) {
    gControlsToBind = {{40, 40, 80, 80}};
    ASSERT_EQ(create({0, 0}, {200, 200}), noErr);
    const AudioUnitParameter p{unit, kFilterAFc, kAudioUnitScope_Global, 0};
    AUParameterSet(nullptr, nullptr, &p, 100, 0);
    CloseComponent(view);
    view = nullptr;
    RunLoopRunFor(CFRunLoopGetCurrent(), 0.15);  // the pending notification finds nobody
    EXPECT_EQ(parameter(kFilterAFc), 100);
}
