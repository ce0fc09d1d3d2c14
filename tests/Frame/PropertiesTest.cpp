// The frame's shared properties through the host's property calls: stream formats, limits, presets, channels.
#include <cstring>

#include "TestUnit.h"

using FrameProperties = FrameTest;

TEST_F(FrameProperties, InfoOnAMissingElementFillsTheSizeFirst) {
    UInt32 size = 0;
    Boolean writable = false;
    EXPECT_EQ(
        AudioUnitGetPropertyInfo(au, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 5, &size, &writable),
        kAudioUnitErr_InvalidElement);
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(
        AudioUnitGetPropertyInfo(au, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 5, nullptr, nullptr),
        kAudioUnitErr_InvalidElement);
}

TEST_F(FrameProperties, OnlyANewSampleRateNotifies) {
    int changes = 0;
    ASSERT_EQ(AudioUnitAddPropertyListener(au, kAudioUnitProperty_StreamFormat, CountChange, &changes), noErr);
    EXPECT_EQ(set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, Float64(44100)), noErr);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(set(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, Float64(48000)), noErr);
    EXPECT_EQ(changes, 1);
    Float64 rate = 0;
    EXPECT_EQ(get(kAudioUnitProperty_SampleRate, kAudioUnitScope_Global, 0, rate), noErr);
    EXPECT_EQ(rate, 48000.0);
}

TEST_F(FrameProperties, StreamFormatMustBeCanonicalFloat) {
    AudioStreamBasicDescription integer = CanonicalFormat(44100, 2);
    integer.mFormatFlags =
        kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    EXPECT_EQ(set(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, integer),
              kAudioUnitErr_FormatNotSupported);
    const AudioStreamBasicDescription mono = CanonicalFormat(48000, 1);
    EXPECT_EQ(AudioUnitSetProperty(au, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &mono, 35),
              kAudioUnitErr_InvalidPropertyValue);

    // The reserved word may be left off.
    ASSERT_EQ(AudioUnitSetProperty(au, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &mono, 36), noErr);
    AudioStreamBasicDescription now{};
    ASSERT_EQ(get(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Global, 0, now), noErr);
    EXPECT_EQ(std::memcmp(&now, &mono, sizeof now), 0);
}

TEST_F(FrameProperties, MaximumFramesIsAcceptedOnTheOutputScope) {
    EXPECT_EQ(set(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Output, 0, UInt32(512)), noErr);
    UInt32 frames = 0;
    EXPECT_EQ(get(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, frames), noErr);
    EXPECT_EQ(frames, 512u);
}

TEST_F(FrameProperties, UserPresetNeedsAName) {
    AUPreset now{};
    EXPECT_EQ(set(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, AUPreset{-1, nullptr}),
              kAudioUnitErr_InvalidPropertyValue);
    ASSERT_EQ(get(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, now), noErr);
    EXPECT_EQ(now.presetNumber, -1);
    EXPECT_STREQ(CFStringGetUTF8(now.presetName), "Untitled");

    CFStringRef name = CFStringCreateWithCString(nullptr, "Mine", kCFStringEncodingUTF8);
    EXPECT_EQ(set(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, AUPreset{-7, name}), noErr);
    ASSERT_EQ(get(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, now), noErr);
    EXPECT_EQ(now.presetNumber, -7);
    EXPECT_EQ(now.presetName, name);
    EXPECT_EQ(CFGetRetainCount(name), 2);  // the unit's own reference; reading adds none
    EXPECT_EQ(set(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, AUPreset{-2, CFSTR("Next")}), noErr);
    EXPECT_EQ(CFGetRetainCount(name), 1);
    CFRelease(name);
}

TEST_F(FrameProperties, SupportedChannelsComeFromTheUnit) {
    AUChannelInfo channels[3]{};
    UInt32 size = sizeof channels;
    ASSERT_EQ(AudioUnitGetProperty(au, kAudioUnitProperty_SupportedNumChannels, 0, 0, channels, &size), noErr);
    ASSERT_EQ(size, 8u);
    const AUChannelInfo expected[2] = {{0, 1}, {0, 2}};
    EXPECT_EQ(std::memcmp(channels, expected, sizeof expected), 0);
}
