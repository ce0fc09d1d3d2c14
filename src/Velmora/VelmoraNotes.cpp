// VelmoraAU: MIDI handlers, note calls and the per-slice key scan
// (monophonic, last-note priority, legato or retrigger).
#include <cmath>

#include "Velmora/VelmoraAU.h"

namespace {
constexpr int kLowestKey = 24, kHighestKey = 103;  // keys outside never sound
}

void VelmoraAU::HandleNoteOn(int channel, UInt8 note, UInt8 velocity, SInt32 startFrame) {
    const MusicDeviceNoteParams params{2, Float32(note), Float32(velocity & 127)};
    if (velocity == 0) {
        StopNote(MusicDeviceGroupID(channel), note, UInt32(startFrame));
    } else {
        NoteInstanceID id;
        StartNote(0, MusicDeviceGroupID(channel), &id, UInt32(startFrame), params);
    }
}

void VelmoraAU::HandleNoteOff(int channel, UInt8 note, UInt8, SInt32 startFrame) {
    StopNote(MusicDeviceGroupID(channel), note, UInt32(startFrame));
}

void VelmoraAU::HandleAllNotesOff(int channel) {
    for (NoteInstanceID key = 0; key < 128; ++key) StopNote(MusicDeviceGroupID(channel), key, 0);
}

void VelmoraAU::HandlePitchWheel(int, UInt8 lsb, UInt8 msb, SInt32) {
    const float bend = float((msb * 128 + lsb) - 8192) / 8192.0f;
    bendAmount = bend;
    // Far beyond the 24-semitone ranges, out-of-range settings cannot push the pitch to infinity.
    const float offset = bend * (bend >= 0 ? param(kPitchBendUp) : param(kPitchBendDown));
    pitchBend = offset > -1e4f ? (offset < 1e4f ? offset : 1e4f) : -1e4f;
}

void VelmoraAU::HandleChannelPressure(int, UInt8 value, SInt32) { pressure = float(value) / 127.0f; }

void VelmoraAU::HandleControlChange(int, UInt8 controller, UInt8 value, SInt32) {
    if (controller == 1) modWheel = float(value) / 127.0f;
}

OSStatus VelmoraAU::StartNote(MusicDeviceInstrumentID, MusicDeviceGroupID, NoteInstanceID* outNoteInstanceID,
                              UInt32 offsetSampleFrame, const MusicDeviceNoteParams& params) {
    // Negative pitches name no key; NaN and infinite pitches or velocities are refused.
    if (!std::isfinite(params.mPitch) || !std::isfinite(params.mVelocity)) return paramErr;
    if (params.mPitch < 0) return noErr;
    const int key = TruncToInt(params.mPitch) % 256;
    if (key <= 127) {
        keyOrder[key] = 0;
        keyFrame[key] = SInt32(offsetSampleFrame);
        keyVelocity[key] = params.mVelocity;
        keysPending.store(true, std::memory_order_release);
    }
    if (outNoteInstanceID) *outNoteInstanceID = NoteInstanceID(key);
    return noErr;
}

OSStatus VelmoraAU::StopNote(MusicDeviceGroupID, NoteInstanceID noteInstanceID, UInt32 offsetSampleFrame) {
    const NoteInstanceID key = noteInstanceID & 255;
    if (key <= 127) {
        keyFrame[key] = SInt32(offsetSampleFrame);
        keyVelocity[key] = 0.0f;
        keysPending.store(true, std::memory_order_release);
    }
    return noErr;
}

SliceNotes VelmoraAU::scanKeys(int frames) {
    SliceNotes out;
    if (!keysPending.load(std::memory_order_relaxed) || !keysPending.exchange(false, std::memory_order_acquire))
        return out;
    bool waiting = false;
    const bool retrigger = param(kTrigger) != 0.0f;
    const float playing = currentNote;  // the scan sees the note from before the slice
    for (int k = kLowestKey; k <= kHighestKey; ++k) {
        SInt32 due = keyFrame[k];
        if (due < 0) continue;
        due -= frames;
        keyFrame[k] = due;
        if (due > 0) {
            waiting = true;
            continue;
        }
        const float v = keyVelocity[k];
        if (v == 0.0f) {
            keyOrder[k] = 0;
            if (float(k) == playing) {
                int latest = -1;
                SInt32 latestStamp = 0;
                for (int j = kLowestKey; j <= kHighestKey; ++j) {
                    const SInt32 stamp = keyOrder[j];
                    if (stamp > latestStamp && keyVelocity[j] > 0.0f) {
                        latest = j;
                        latestStamp = stamp;
                    }
                }
                if (latest < 0) {
                    out.gateOff = true;
                } else {
                    out.noteChange = true;
                    out.newNote = float(latest);
                    if (retrigger) {
                        out.gateOff = out.gateOn = true;
                        velocity = keyVelocity[latest];
                    }
                }
            }
        } else {
            if (!retrigger) {
                const int played = TruncToInt(playing);
                if (played < 0 || played > 127 || keyOrder[played] == 0) {
                    velocity = v;
                    out.gateOn = true;
                }
            } else {
                velocity = v;
                out.gateOff = out.gateOn = true;
            }
            out.noteChange = true;
            out.newNote = float(k);
            keyOrder[k] = ++noteCounter;
        }
        keyFrame[k] = -1;
    }
    if (waiting) keysPending.store(true, std::memory_order_relaxed);
    return out;
}
