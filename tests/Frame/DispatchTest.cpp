// The frame's entry and selector dispatch: lifecycle, can-do, argument checks, exceptions, parameter stores.
#include <cstring>
#include <tuple>

#include "TestUnit.h"

using FrameLifecycle = FrameTest;

TEST_F(FrameLifecycle, CloseDestroysWithoutCleanup) {
    AudioUnit other = OpenTestUnit();
    EXPECT_EQ(CloseComponent(other), noErr);
    other = OpenTestUnit();
    ASSERT_EQ(AudioUnitInitialize(other), noErr);
    EXPECT_EQ(CloseComponent(other), noErr);
    EXPECT_EQ(TestUnit::sDestroyed, 2);
    EXPECT_EQ(TestUnit::sCleanups, 0);
}

TEST_F(FrameLifecycle, InitializeRunsOncePerUninitialize) {
    UInt32 count = 0;  // reading the element count initializes too
    EXPECT_EQ(get(kAudioUnitProperty_ElementCount, kAudioUnitScope_Output, 0, count), noErr);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(AudioUnitInitialize(au), noErr);
    EXPECT_EQ(unit().initializeCalls, 1);
    EXPECT_EQ(AudioUnitUninitialize(au), noErr);
    EXPECT_EQ(TestUnit::sCleanups, 1);
    EXPECT_EQ(AudioUnitInitialize(au), noErr);
    EXPECT_EQ(unit().initializeCalls, 2);
}

TEST_F(FrameLifecycle, FailedInitializeIsNotRetriedUntilUninitialize) {
    unit().initializeResult = -4242;
    EXPECT_EQ(AudioUnitInitialize(au), -4242);
    EXPECT_EQ(AudioUnitInitialize(au), kAudioUnitErr_FailedInitialization);
    EXPECT_EQ(unit().initializeCalls, 1);
    EXPECT_EQ(MusicDeviceMIDIEvent(au, 0x90, 60, 100, 0), kAudioUnitErr_Uninitialized);

    EXPECT_EQ(AudioUnitUninitialize(au), noErr);
    EXPECT_EQ(TestUnit::sCleanups, 0);  // never initialized, nothing to clean up
    unit().initializeResult = noErr;
    EXPECT_EQ(AudioUnitInitialize(au), noErr);
    EXPECT_EQ(unit().initializeCalls, 2);
}

struct CanDoCase {
    SInt16 selector;
    OSStatus answer;
};
class FrameCanDo : public FrameTest, public ::testing::WithParamInterface<CanDoCase> {};

TEST_P(FrameCanDo, AnswersForTheSelector) { EXPECT_EQ(CallComponentCanDo(au, GetParam().selector), GetParam().answer); }

std::vector<CanDoCase> CanDoCases() {
    std::vector<CanDoCase> cases;
    for (SInt16 s = -4; s <= 17; ++s) cases.push_back({s, s == 0 ? 0 : 1});
    // The music-device selectors are handled but not announced.
    for (SInt16 s : {18, 19, 0x0101, 0x0102, 0x0103, 0x0104, 0x0105, 0x0106, -5, 0x7FFF}) cases.push_back({s, 0});
    return cases;
}
INSTANTIATE_TEST_SUITE_P(Selectors, FrameCanDo, ::testing::ValuesIn(CanDoCases()));

using FrameDispatch = FrameTest;

TEST_F(FrameDispatch, VersionOneSelectorsAreRefused) {
    ASSERT_EQ(AudioUnitInitialize(au), noErr);
    AudioTimeStamp ts{};
    float samples[64];
    AudioBuffer buffer{1, sizeof samples, samples};
    void* proc = samples;  // refused before it could be called
    EXPECT_EQ(AudioUnitRenderSlice(au, nullptr, &ts, 0, &buffer), badComponentSelector);
    EXPECT_EQ(AudioUnitSetRenderNotification(au, proc, nullptr), badComponentSelector);
    EXPECT_EQ(AudioUnitRemoveRenderNotification(au, proc, nullptr), badComponentSelector);
    EXPECT_TRUE(unit().renderFrames.empty());
}

TEST_F(FrameDispatch, NullArgumentsGiveParamErr) {
    ASSERT_EQ(AudioUnitInitialize(au), noErr);
    UInt32 value = 512;
    EXPECT_EQ(AudioUnitGetProperty(au, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &value, nullptr), paramErr);
    EXPECT_EQ(AudioUnitSetProperty(au, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, nullptr, 4), paramErr);
    EXPECT_EQ(AudioUnitSetProperty(au, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, &value, 0), paramErr);
    EXPECT_EQ(AudioUnitGetParameter(au, 0, kAudioUnitScope_Global, 0, nullptr), paramErr);
    HostOutput out(64, true);
    AudioTimeStamp ts{};
    EXPECT_EQ(AudioUnitRender(au, nullptr, nullptr, 0, 64, &out.list()), paramErr);
    EXPECT_EQ(AudioUnitRender(au, nullptr, &ts, 0, 64, nullptr), paramErr);
    EXPECT_EQ(MusicDeviceStartNote(au, 0, 0, nullptr, 0, nullptr), paramErr);
    EXPECT_TRUE(unit().renderFrames.empty());
    EXPECT_TRUE(unit().calls.empty());
}

struct FaultCase {
    Fault fault;
    OSStatus result;
};
class FrameExceptions : public FrameTest, public ::testing::WithParamInterface<std::tuple<FaultSite, FaultCase>> {};

TEST_P(FrameExceptions, BecomeTheResultOfTheCall) {
    const auto [site, c] = GetParam();
    if (site == FaultSite::Render) {
        ASSERT_EQ(AudioUnitInitialize(au), noErr);
    }
    unit().faultSite = site;
    unit().fault = c.fault;
    HostOutput out(64, true);
    const MusicDeviceNoteParams note{2, 60, 100};
    NoteInstanceID id = 0;
    switch (site) {
        case FaultSite::Initialize: EXPECT_EQ(AudioUnitInitialize(au), c.result); break;
        case FaultSite::SetParameter: EXPECT_EQ(AudioUnitSetParameter(au, 1, 0, 0, 0.5f, 0), c.result); break;
        case FaultSite::Render: EXPECT_EQ(render(out, 64, 0), c.result); break;
        case FaultSite::StartNote: EXPECT_EQ(MusicDeviceStartNote(au, 0, 0, &id, 0, &note), c.result); break;
    }
    unit().fault = Fault::None;
    EXPECT_EQ(AudioUnitSetParameter(au, 1, 0, 0, 0.5f, 0), noErr);  // still usable
}

INSTANTIATE_TEST_SUITE_P(Faults, FrameExceptions,
                         ::testing::Combine(::testing::Values(FaultSite::Initialize, FaultSite::SetParameter,
                                                              FaultSite::Render, FaultSite::StartNote),
                                            ::testing::Values(FaultCase{Fault::OutOfMemory, memFullErr},
                                                              FaultCase{Fault::Status, kThrownStatus},
                                                              FaultCase{Fault::PlatformError, kThrownPlatformError},
                                                              FaultCase{Fault::Unrelated, kUnspecifiedErr})));

TEST_F(FrameDispatch, GetPropertyFitsTheCallersSize) {
    UInt8 bytes[64];
    std::memset(bytes, 0xAB, sizeof bytes);
    auto getFormat = [&](void* out, UInt32& size) {
        return AudioUnitGetProperty(au, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, out, &size);
    };
    UInt32 size = 8;  // smaller: a truncated copy, the size left as asked
    EXPECT_EQ(getFormat(bytes, size), noErr);
    EXPECT_EQ(size, 8u);
    Float64 rate;
    std::memcpy(&rate, bytes, 8);
    EXPECT_EQ(rate, 44100.0);
    for (int i = 8; i < 64; ++i) ASSERT_EQ(bytes[i], 0xAB) << i;

    size = sizeof bytes;  // larger: the size becomes exact
    EXPECT_EQ(getFormat(bytes, size), noErr);
    EXPECT_EQ(size, 40u);
    const AudioStreamBasicDescription expected = CanonicalFormat(44100, 2);
    EXPECT_EQ(std::memcmp(bytes, &expected, 40), 0);

    size = 0;  // no data pointer: the size only
    EXPECT_EQ(getFormat(nullptr, size), noErr);
    EXPECT_EQ(size, 40u);
    size = 0;
    EXPECT_EQ(getFormat(bytes, size), paramErr);

    size = sizeof bytes;  // a fetch failing after its info succeeded reports no bytes
    EXPECT_EQ(AudioUnitGetProperty(au, kAudioUnitProperty_FastDispatch, 0, 99, bytes, &size),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(size, 0u);
}

struct AddressCase {
    AudioUnitScope scope;
    AudioUnitElement element;
    OSStatus getResult;
};
class FrameParameterStore : public FrameTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(FrameParameterStore, ReachesOnlyExistingElements) {
    const AddressCase c = GetParam();
    Float32 value = 0;
    EXPECT_EQ(AudioUnitGetParameter(au, 3, c.scope, c.element, &value), c.getResult);
    const bool exists = c.getResult == kAudioUnitErr_InvalidParameter;
    EXPECT_EQ(AudioUnitSetParameter(au, 3, c.scope, c.element, 0.75f, 0), exists ? noErr : c.getResult);
    if (exists) {
        EXPECT_EQ(AudioUnitGetParameter(au, 3, c.scope, c.element, &value), noErr);
        EXPECT_EQ(value, 0.75f);
    }
}

INSTANTIATE_TEST_SUITE_P(Addresses, FrameParameterStore,
                         ::testing::Values(AddressCase{4, 0, kAudioUnitErr_InvalidScope},
                                           AddressCase{kAudioUnitScope_Output, 1, kAudioUnitErr_InvalidElement},
                                           AddressCase{kAudioUnitScope_Input, 0, kAudioUnitErr_InvalidElement},
                                           AddressCase{kAudioUnitScope_Global, 1, kAudioUnitErr_InvalidElement},
                                           AddressCase{kAudioUnitScope_Global, 0, kAudioUnitErr_InvalidParameter},
                                           AddressCase{kAudioUnitScope_Output, 0, kAudioUnitErr_InvalidParameter}));

TEST_F(FrameDispatch, OnlyImmediateScheduledEventsTakeEffect) {
    ASSERT_EQ(AudioUnitInitialize(au), noErr);
    AudioUnitParameterEvent events[2] = {{kAudioUnitScope_Output, 0, 9, kParameterEvent_Ramped, {}},
                                         {kAudioUnitScope_Output, 0, 4, kParameterEvent_Immediate, {}}};
    events[0].eventValues.ramp = {-16, 64, 0.1f, 0.9f};
    events[1].eventValues.immediate = {17, 0.3f};
    EXPECT_EQ(AudioUnitScheduleParameters(au, events, 2), noErr);
    ASSERT_EQ(unit().parameterCalls.size(), 1u);
    const TestUnit::ParameterCall& call = unit().parameterCalls[0];
    EXPECT_EQ(call.id, 4u);
    EXPECT_EQ(call.valueBits, std::bit_cast<UInt32>(0.3f));
    EXPECT_EQ(call.offset, 17u);

    HostOutput out(64, true);
    EXPECT_EQ(render(out, 64, 0), noErr);
    EXPECT_EQ(render(out, 64, 64), noErr);
    Float32 value = 0;
    EXPECT_EQ(AudioUnitGetParameter(au, 9, kAudioUnitScope_Output, 0, &value), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(unit().parameterCalls.size(), 1u);
}

class FrameFloatArguments : public FrameTest, public ::testing::WithParamInterface<UInt32> {};

TEST_P(FrameFloatArguments, ArriveBitForBit) {
    const UInt32 bits = GetParam();
    ASSERT_EQ(AudioUnitSetParameter(au, 5, kAudioUnitScope_Output, 0, std::bit_cast<Float32>(bits), 33), noErr);
    ASSERT_EQ(unit().parameterCalls.size(), 1u);
    EXPECT_EQ(unit().parameterCalls[0].valueBits, bits);
    EXPECT_EQ(unit().parameterCalls[0].offset, 33u);
    Float32 value = 0;
    ASSERT_EQ(AudioUnitGetParameter(au, 5, kAudioUnitScope_Output, 0, &value), noErr);
    EXPECT_EQ(std::bit_cast<UInt32>(value), bits);
}

// 0.5, -0.0, smallest denormal, quiet NaN with payload, signalling NaN.
INSTANTIATE_TEST_SUITE_P(Patterns, FrameFloatArguments,
                         ::testing::Values(0x3F000000u, 0x80000000u, 0x00000001u, 0x7FC12345u, 0x7F800001u));
