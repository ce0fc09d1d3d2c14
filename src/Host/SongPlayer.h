// SongPlayer: a song delivered to the instrument block by block, as every host of
// ours plays a MIDI file: each event before the render call of the block that
// contains its frame (its time in seconds times the rate, rounded to nearest),
// with its offset in that block; automation before the block's events.
#pragma once
#include <span>
#include <vector>

#include "Host/InstrumentDriver.h"
#include "Host/Smf.h"

struct Automation {
    long long frame;
    AudioUnitParameterID id;
    float value;
};

struct RenderOptions {
    double sampleRate = 44100;
    UInt32 blockFrames = 64;
    UInt32 channels = 2;
    long long frames = -1;    // exact length; -1: until the voice is idle after the last event
    double tailSeconds = 30;  // at most this long past the last event
    std::vector<Automation> automation;
};

// The most frames a song plays: `frames`, or the last event or automation plus
// the tail. Known before rendering, so that a render can be refused up front.
long long maxRenderFrames(const MidiSong& song, const RenderOptions& options);

// The song ends at maxRenderFrames or, without a fixed length, with the first
// block after the last event in which the voice is idle (an idle voice writes
// exact zeros; a sounding one never does); that block is the song's last.
// Building a player allocates; after that nothing allocates or throws, so an
// audio thread or an AudioWorklet may play it.
class SongPlayer {
public:
    SongPlayer(const MidiSong& song, const RenderOptions& options);

    long long limit() const { return mLimit; }
    long long position() const { return mPosition; }  // frames played
    bool finished() const { return mIdle || mPosition >= mLimit; }
    // The next block's length: the block size, less at the limit.
    UInt32 nextBlockFrames() const;

    // Delivers what falls in the next `frames` frames.
    OSStatus deliver(InstrumentDriver& instrument, UInt32 frames);
    // After the block is rendered: moves on, and notices an idle voice.
    void advance(std::span<float* const> channels, UInt32 frames);
    // The next block (nextBlockFrames() of them) delivered, rendered into
    // channels[c] and advanced over; `frames` says how many.
    OSStatus renderBlock(InstrumentDriver& instrument, std::span<float* const> channels, UInt32& frames);

    // The call that failed last: "setting a parameter", "sending a MIDI event" or "rendering".
    const char* failedCall() const { return mFailedCall; }

private:
    struct DueEvent {
        long long frame;
        UInt8 status, data1, data2;
    };
    std::vector<DueEvent> mEvents;
    std::vector<Automation> mAutomation;  // by frame
    long long mLimit, mLastFrame, mPosition = 0;
    size_t mNextEvent = 0, mNextAutomation = 0;
    UInt32 mBlockFrames;
    bool mFixedLength, mIdle = false;
    const char* mFailedCall = "";
};
