// The render path through the host's render call: limits, notifications, memory choice, repeated pulls.
#include <string>

#include "TestUnit.h"

namespace {
// A render notification's name and where it logs what it saw.
struct Seen {
    std::string name;
    std::vector<std::string>* log;
};

OSStatus Notify(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* ts, UInt32 bus, UInt32 frames,
                AudioBufferList*) {
    auto* seen = static_cast<Seen*>(refCon);
    seen->log->push_back(seen->name + " " + std::to_string(*flags) + " " + std::to_string(long(ts->mSampleTime)) + " " +
                         std::to_string(bus) + " " + std::to_string(frames));
    return -1;  // ignored
}
}  // namespace

class FrameRender : public FrameTest {
protected:
    void SetUp() override {
        FrameTest::SetUp();
        ASSERT_EQ(AudioUnitInitialize(au), noErr);
    }
    OSStatus lastRenderError() {
        OSStatus error = 12345;
        EXPECT_EQ(get(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, error), noErr);
        return error;
    }
    std::vector<std::string> log;
};

TEST_F(FrameRender, TooManyFramesFailsBeforeAnything) {
    Seen a{"A", &log};
    int changes = 0;
    ASSERT_EQ(AudioUnitAddRenderNotify(au, Notify, &a), noErr);
    ASSERT_EQ(AudioUnitAddPropertyListener(au, kAudioUnitProperty_LastRenderError, CountChange, &changes), noErr);
    HostOutput out(1153, true);
    EXPECT_EQ(render(out, 1153, 0), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(render(out, 1153, 0), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(unit().renderFrames.empty());
    EXPECT_EQ(changes, 1);  // the first failure only, until it is read

    EXPECT_EQ(lastRenderError(), kAudioUnitErr_TooManyFramesToProcess);
    EXPECT_EQ(lastRenderError(), noErr);
    EXPECT_EQ(render(out, 1152, 0, 0, 1), kAudioUnitErr_InvalidElement);  // no output bus 1
    EXPECT_EQ(lastRenderError(), kAudioUnitErr_InvalidElement);
}

TEST_F(FrameRender, HostMemoryIsFilledOncePerSampleTime) {
    HostOutput out(64, true);
    ASSERT_EQ(render(out, 64, 0), noErr);
    EXPECT_EQ(out.data(0), out.samples[0].data());
    EXPECT_EQ(out.samples[0], std::vector<float>(64, kRenderedSample));
    EXPECT_EQ(out.samples[1], std::vector<float>(64, kRenderedSample + 1));

    HostOutput again(64, true);
    EXPECT_EQ(render(again, 64, 0), noErr);
    EXPECT_EQ(unit().renderFrames.size(), 1u);
    EXPECT_EQ(again.samples[0], std::vector<float>(64, HostOutput::kUntouched));
    EXPECT_EQ(again.samples[1], std::vector<float>(64, HostOutput::kUntouched));

    EXPECT_EQ(render(again, 64, 64), noErr);
    EXPECT_EQ(unit().renderFrames, (std::vector<UInt32>{64, 64}));
}

TEST_F(FrameRender, NullDataHandsBackTheUnitsMemory) {
    HostOutput out(300, false);
    ASSERT_EQ(render(out, 300, 0), noErr);
    ASSERT_TRUE(out.data(0) && out.data(1));
    EXPECT_EQ(out.list().mBuffers[0].mDataByteSize, 1200u);
    EXPECT_EQ(out.list().mBuffers[1].mDataByteSize, 1200u);
    // Channel buffers lie end to end at the allocated stride, not the requested one.
    EXPECT_EQ(reinterpret_cast<const UInt8*>(out.data(1)) - reinterpret_cast<const UInt8*>(out.data(0)), 1152 * 4);
    EXPECT_EQ(std::vector<float>(out.data(0), out.data(0) + 300), std::vector<float>(300, kRenderedSample));
    EXPECT_EQ(std::vector<float>(out.data(1), out.data(1) + 300), std::vector<float>(300, kRenderedSample + 1));
    EXPECT_EQ(out.samples[0], std::vector<float>(300, HostOutput::kUntouched));
}

TEST_F(FrameRender, NullExternalBufferIsRefusedAndTheUnitsMemoryStays) {
    // Taking a null buffer left the element rendering through a null pointer.
    const AudioUnitExternalBuffer none{nullptr, 1 << 20};
    EXPECT_EQ(
        AudioUnitSetProperty(au, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, &none, sizeof none),
        paramErr);
    HostOutput out(300, false);
    ASSERT_EQ(render(out, 300, 0), noErr);
    ASSERT_TRUE(out.data(0) && out.data(1));
    EXPECT_EQ(std::vector<float>(out.data(1), out.data(1) + 300), std::vector<float>(300, kRenderedSample + 1));
}

TEST_F(FrameRender, RepeatedPullOfFreshMemoryGivesSilence) {
    // A render of no frames marks the time as rendered; the next pull at that
    // time renders nothing and hands out the unit's memory, which held
    // whatever the heap had left there.
    HostOutput none(0, false);
    ASSERT_EQ(render(none, 0, 0), noErr);
    HostOutput out(300, false);
    ASSERT_EQ(render(out, 300, 0), noErr);
    ASSERT_TRUE(out.data(0) && out.data(1));
    EXPECT_EQ(std::vector<float>(out.data(0), out.data(0) + 300), std::vector<float>(300, 0.0f));
    EXPECT_EQ(std::vector<float>(out.data(1), out.data(1) + 300), std::vector<float>(300, 0.0f));
}

TEST_F(FrameRender, NotificationsRunLastRegisteredFirst) {
    Seen a{"A", &log}, b{"B", &log};
    ASSERT_EQ(AudioUnitAddRenderNotify(au, Notify, &a), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(au, Notify, &b), noErr);
    HostOutput out(32, true);
    ASSERT_EQ(render(out, 32, 96, kAudioUnitRenderAction_Accumulate), noErr);
    // Host flag 0x1 plus pre-render 0x4, then plus post-render 0x8.
    EXPECT_EQ(log, (std::vector<std::string>{"B 5 96 0 32", "A 5 96 0 32", "B 9 96 0 32", "A 9 96 0 32"}));
}

TEST_F(FrameRender, RegisteringTwiceKeepsOneNotification) {
    Seen a{"A", &log};
    ASSERT_EQ(AudioUnitAddRenderNotify(au, Notify, &a), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(au, Notify, &a), noErr);
    HostOutput out(32, true);
    ASSERT_EQ(render(out, 32, 0), noErr);
    EXPECT_EQ(log.size(), 2u);

    ASSERT_EQ(AudioUnitRemoveRenderNotify(au, Notify, &a), noErr);
    ASSERT_EQ(render(out, 32, 32), noErr);
    EXPECT_EQ(log.size(), 2u);
    EXPECT_EQ(AudioUnitAddRenderNotify(au, nullptr, &a), paramErr);
}

TEST_F(FrameRender, RaisedMaximumReallocatesTheOutput) {
    HostOutput out(4096, false);
    EXPECT_EQ(render(out, 4096, 0), kAudioUnitErr_TooManyFramesToProcess);
    ASSERT_EQ(set(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, UInt32(4096)), noErr);

    HostOutput big(4096, false);
    ASSERT_EQ(render(big, 4096, 4096), noErr);
    EXPECT_EQ(big.list().mBuffers[1].mDataByteSize, 4096u * 4);
    EXPECT_EQ(big.data(1)[4095], kRenderedSample + 1);
}
