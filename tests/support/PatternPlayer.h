// PatternPlayer: a MIDI song cut into host blocks and played into the instrument
// through the host-side calls, the way the command-line host delivers it.
// Shared by the golden-render test and the benchmarks.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "Host/Smf.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/RenderCall.h"

class PatternPlayer {
public:
    struct Event {
        UInt8 status, data1, data2;
        UInt32 offset;  // frames into its block
    };

    // Each event goes before the render call of the block that contains its frame
    // (seconds times the rate, rounded), at its offset in that block; events at or
    // past `frames` are dropped. `block`: frames per render call, at most 64.
    PatternPlayer(const MidiSong& song, long long frames, double sampleRate = 44100, UInt32 block = 64)
        : mFrames(frames), mBlock(block) {
        const long long blocks = (frames + block - 1) / block;
        mFirst.assign(size_t(blocks) + 1, 0);
        std::vector<long long> eventFrames;
        for (const MidiEvent& e : song.events) eventFrames.push_back(std::llround(e.seconds * sampleRate));
        // The song's events are in time order, so the blocks' events come out in order too.
        for (size_t i = 0; i < song.events.size(); ++i) {
            const long long frame = std::max(0LL, eventFrames[i]);
            if (frame >= frames) continue;
            const long long b = frame / block;
            mEvents.push_back(
                {song.events[i].status, song.events[i].data1, song.events[i].data2, UInt32(frame - b * block)});
            ++mFirst[size_t(b) + 1];
        }
        for (size_t b = 1; b < mFirst.size(); ++b) mFirst[b] += mFirst[b - 1];
    }

    long long frames() const { return mFrames; }
    UInt32 blockFrames() const { return mBlock; }
    size_t eventCount() const { return mEvents.size(); }

    // Plays the whole song: per block its events, one render call into `channels`
    // (each at least blockFrames() floats), then after(framesOfThisBlock).
    // Returns false when a host-side call failed.
    template <class AfterBlock>
    bool play(AudioUnit unit, const std::vector<float*>& channels, AfterBlock&& after) const {
        RenderCall call;
        bool ok = true;
        for (size_t b = 0; b + 1 < mFirst.size(); ++b) {
            const long long start = (long long)b * mBlock;
            const UInt32 n = UInt32(std::min<long long>(mBlock, mFrames - start));
            for (size_t e = mFirst[b]; e < mFirst[b + 1]; ++e)
                ok &= MusicDeviceMIDIEvent(unit, mEvents[e].status, mEvents[e].data1, mEvents[e].data2,
                                           mEvents[e].offset) == noErr;
            ok &= call.render(unit, double(start), n, channels) == noErr;
            after(n);
        }
        return ok;
    }

    // The same event calls without rendering, for subtracting their cost from a timed play.
    bool deliverOnly(AudioUnit unit) const {
        bool ok = true;
        for (const Event& e : mEvents) ok &= MusicDeviceMIDIEvent(unit, e.status, e.data1, e.data2, e.offset) == noErr;
        return ok;
    }

private:
    long long mFrames;
    UInt32 mBlock;
    std::vector<Event> mEvents;
    std::vector<size_t> mFirst;  // mEvents[mFirst[b] .. mFirst[b + 1]) belong to block b
};
