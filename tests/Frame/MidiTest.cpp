// MIDI decoding and the music-device calls, through the host's music-device calls.
#include "TestUnit.h"

using Calls = std::vector<std::string>;

struct MidiCase {
    UInt8 status, data1, data2;
    UInt32 offset;
    Calls expected;
};
class FrameMidi : public FrameTest, public ::testing::WithParamInterface<MidiCase> {};

TEST_P(FrameMidi, ReachesOneHandler) {
    const MidiCase& c = GetParam();
    ASSERT_EQ(AudioUnitInitialize(au), noErr);
    EXPECT_EQ(MusicDeviceMIDIEvent(au, c.status, c.data1, c.data2, c.offset), noErr);
    EXPECT_EQ(unit().calls, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, FrameMidi,
    ::testing::Values(MidiCase{0x90, 60, 100, 5, {"noteOn 0 60 100 5"}},
                      MidiCase{0x9F, 60, 100, 0, {"noteOn 15 60 100 0"}},
                      MidiCase{0x90, 60, 0, 9, {"noteOff 0 60 0 9"}}, MidiCase{0x83, 64, 40, 0, {"noteOff 3 64 40 0"}},
                      MidiCase{0xA0, 60, 50, 2, {"poly 0 60 50 2"}}, MidiCase{0xB0, 123, 0, 0, {"allNotesOff 0"}},
                      MidiCase{0xB2, 120, 0, 0, {"allSoundOff 2"}}, MidiCase{0xB0, 121, 0, 0, {"resetControllers 0"}},
                      MidiCase{0xB0, 122, 5, 0, {"control 0 122 5 0"}},
                      MidiCase{0xB1, 7, 100, 9, {"control 1 7 100 9"}}, MidiCase{0xC4, 12, 0, 8, {"program 4 12"}},
                      MidiCase{0xD5, 90, 0, 3, {"pressure 5 90 3"}}, MidiCase{0xE3, 0x12, 0x40, 0, {"pitch 3 18 64 0"}},
                      MidiCase{0xF8, 0, 0, 0, {}}, MidiCase{0xF0, 1, 2, 0, {}}));

using FrameMusicDevice = FrameTest;

TEST_F(FrameMusicDevice, MidiWaitsForInitialization) {
    const UInt8 sysex[] = {0xF0, 0x7D, 0xF7};
    EXPECT_EQ(MusicDeviceMIDIEvent(au, 0x90, 60, 100, 0), kAudioUnitErr_Uninitialized);
    EXPECT_EQ(MusicDeviceSysEx(au, sysex, 3), kAudioUnitErr_Uninitialized);
    EXPECT_TRUE(unit().calls.empty());

    ASSERT_EQ(AudioUnitInitialize(au), noErr);
    EXPECT_EQ(MusicDeviceMIDIEvent(au, 0x90, 60, 100, 0), noErr);
    EXPECT_EQ(MusicDeviceSysEx(au, sysex, 3), noErr);
    EXPECT_EQ(unit().calls, (Calls{"noteOn 0 60 100 0", "sysex 3"}));

    ASSERT_EQ(AudioUnitUninitialize(au), noErr);
    EXPECT_EQ(MusicDeviceMIDIEvent(au, 0x80, 60, 0, 0), kAudioUnitErr_Uninitialized);
    EXPECT_EQ(unit().calls.size(), 2u);
}

TEST_F(FrameMusicDevice, NoteCallsReachTheUnitInAnyState) {
    const MusicDeviceNoteParams note{2, 61, 90};
    NoteInstanceID id = 0;
    EXPECT_EQ(MusicDevicePrepareInstrument(au, 4), noErr);
    EXPECT_EQ(MusicDeviceStartNote(au, 4, 1, &id, 200, &note), noErr);
    EXPECT_EQ(id, 77u);
    EXPECT_EQ(MusicDeviceStopNote(au, 1, id, 300), noErr);
    EXPECT_EQ(MusicDeviceReleaseInstrument(au, 4), noErr);
    EXPECT_EQ(unit().calls, (Calls{"prepare 4", "start 4 1 200 61 90", "stop 1 77 300", "release 4"}));
}
