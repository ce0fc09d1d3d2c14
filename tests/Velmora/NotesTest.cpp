// Note input: MIDI decoding into the key tables and the per-slice key scan.
#include "../support/InstrumentFixture.h"
#include "Velmora/VelmoraAU.h"

namespace {

struct Timed {
    UInt32 frame;
    UInt8 status, key, velocity;
};

// Renders 1024 frames in 64-frame calls, each event delivered before its
// block, and returns the voice after every slice.
std::vector<VoiceState> playInBlocks(Instrument& inst, const std::vector<Timed>& events) {
    std::vector<VoiceState> states;
    for (UInt32 start = 0; start < 1024; start += 64) {
        for (const Timed& e : events)
            if (e.frame >= start && e.frame < start + 64) inst.midi(e.status, e.key, e.velocity, e.frame - start);
        inst.render(64);
        states.push_back(inst.engine().voiceState());
    }
    return states;
}

const std::vector<Timed> kOverlap = {{0, 0x90, 60, 100}, {200, 0x90, 64, 50}, {400, 0x80, 64, 0}, {600, 0x80, 60, 0}};

}  // namespace

TEST(KeyScan, RetriggerFollowsLastNoteWithItsVelocity) {
    Instrument inst;
    auto s = playInBlocks(inst, kOverlap);
    EXPECT_EQ(s[0].currentNote, 60);
    EXPECT_EQ(s[0].velocity, 100);
    EXPECT_EQ(s[2].currentNote, 60);
    EXPECT_EQ(s[3].currentNote, 64);  // frame 192
    EXPECT_EQ(s[3].velocity, 50);
    EXPECT_EQ(s[3].env1Stage, 0);     // retriggered: attack again
    EXPECT_EQ(s[6].currentNote, 60);  // frame 384, back to the held key with its own velocity
    EXPECT_EQ(s[6].velocity, 100);
    EXPECT_EQ(s[6].env1Stage, 0);
    EXPECT_NE(s[8].env1Stage, 3);
    EXPECT_EQ(s[9].env1Stage, 3);  // frame 576: release
    EXPECT_EQ(s[9].currentNote, 60);
}

TEST(KeyScan, LegatoChangesOnlyThePitch) {
    Instrument inst;
    inst.set(3, 0);   // "trigger": legato
    inst.set(62, 0);  // no attack: the 353-frame decay shows whether the envelope restarts
    auto s = playInBlocks(inst, kOverlap);
    EXPECT_EQ(s[3].currentNote, 64);
    EXPECT_EQ(s[3].velocity, 100);  // the first note's velocity stays
    EXPECT_EQ(s[6].currentNote, 60);
    EXPECT_EQ(s[6].env1Stage, 2);  // the decay ran on into sustain
    EXPECT_EQ(s[9].env1Stage, 3);
}

TEST(KeyScan, AKeyKeepsOnlyItsLatestPendingEvent) {
    // Sent together before one long call, each note-off replaces its key's
    // note-on before it was applied: nothing sounds.
    Instrument inst;
    for (const Timed& e : kOverlap) inst.midi(e.status, e.key, e.velocity, e.frame);
    auto out = inst.render(1024);
    EXPECT_EQ(firstAbove(out, 0.0f), -1);
    EXPECT_EQ(inst.engine().voiceState().currentNote, 69);

    // Held across calls, a note-off sent early still waits for its frame.
    Instrument held;
    held.noteOn(60);
    held.render(64);
    held.noteOff(60, 500);
    held.render(448);
    EXPECT_NE(held.engine().voiceState().env1Stage, 3);
    held.render(64);
    EXPECT_EQ(held.engine().voiceState().env1Stage, 3);
}

TEST(KeyScan, EventsApplyAtTheSliceInWhichTheyFallDue) {
    for (auto [offset, slice] : {std::pair{10u, 0}, {64u, 0}, {65u, 1}, {128u, 1}, {129u, 2}}) {
        Instrument inst;
        inst.set(62, 0);  // no attack: audible in the slice that applies the note
        inst.noteOn(72, 100, offset);
        auto out = inst.render(512);
        const long first = firstAbove(out, 0.0f);
        EXPECT_EQ(first / 64, slice) << "offset " << offset;
    }
}

TEST(KeyScan, OnlyKeys24To103Sound) {
    for (auto [key, sounds] : {std::pair{23, false}, {24, true}, {103, true}, {104, false}}) {
        Instrument inst;
        inst.noteOn(UInt8(key));
        auto out = inst.renderBlocks(1024);
        EXPECT_EQ(firstAbove(out, 0.0f) >= 0, sounds) << "key " << key;
    }
}

TEST(MidiInput, DecodingAndControllers) {
    Instrument uninitialized(44100, 2, false);
    EXPECT_EQ(uninitialized.midi(0x90, 60, 100), kAudioUnitErr_Uninitialized);

    Instrument inst;
    EXPECT_EQ(inst.midi(0xF8, 0, 0), noErr);
    inst.midi(0x9F, 60, 100);  // any channel plays
    inst.render(64);
    EXPECT_EQ(inst.engine().voiceState().currentNote, 60);
    inst.midi(0x90, 60, 0);  // velocity 0 is a note-off
    inst.render(64);
    EXPECT_EQ(inst.engine().voiceState().env1Stage, 3);

    inst.noteOn(62);
    inst.render(64);
    inst.midi(0xB0, 123, 0);  // all notes off
    inst.render(64);
    EXPECT_EQ(inst.engine().voiceState().env1Stage, 3);

    inst.noteOn(64);
    inst.render(64);
    inst.midi(0xB0, 120, 0);   // all sound off does nothing here
    inst.midi(0xB0, 64, 127);  // no sustain pedal
    inst.render(64);
    EXPECT_EQ(inst.engine().voiceState().env1Stage, 0);  // still in its attack
}

TEST(MidiInput, PitchWheelRange) {
    Instrument inst;
    inst.noteOn(60);
    inst.midi(0xE0, 127, 127);  // top, "PitchBend up" 2
    inst.render(64);
    EXPECT_NEAR(inst.engine().voiceState().pitch - 60, 1.99976, 1e-4);
    inst.set(6, 5);  // "PitchBend down"
    inst.midi(0xE0, 0, 0);
    inst.render(64);
    EXPECT_FLOAT_EQ(inst.engine().voiceState().pitch, 55);
    inst.midi(0xE0, 0, 64);
    inst.render(64);
    EXPECT_FLOAT_EQ(inst.engine().voiceState().pitch, 60);
}

TEST(MidiInput, MusicDeviceNoteCalls) {
    Instrument inst;
    NoteInstanceID id = 0;
    const MusicDeviceNoteParams params{2, 67.7f, 90};
    EXPECT_EQ(MusicDeviceStartNote(inst.unit, 0, 0, &id, 0, &params), noErr);
    EXPECT_EQ(id, 67u);
    inst.render(64);
    EXPECT_EQ(inst.engine().voiceState().currentNote, 67);
    EXPECT_EQ(inst.engine().voiceState().velocity, 90);
    const MusicDeviceNoteParams high{2, 300, 90};  // 300 mod 256 = 44
    EXPECT_EQ(MusicDeviceStartNote(inst.unit, 0, 0, &id, 0, &high), noErr);
    EXPECT_EQ(id, 44u);
    const MusicDeviceNoteParams beyond{2, 200, 90};  // no key above 127
    EXPECT_EQ(MusicDeviceStartNote(inst.unit, 0, 0, &id, 0, &beyond), noErr);
    EXPECT_EQ(MusicDeviceStopNote(inst.unit, 0, 67, 0), noErr);
    inst.render(64);
    EXPECT_EQ(inst.engine().voiceState().currentNote, 44);
}
