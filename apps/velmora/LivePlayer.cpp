// LivePlayer: 64-frame steps across JACK periods, MIDI in between.
#include "LivePlayer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

LivePlayer::LivePlayer(AudioUnit unit) : mUnit(unit) {}

bool LivePlayer::post(UInt8 status, UInt8 data1, UInt8 data2) { return mPosted.push({status, data1, data2}); }

bool LivePlayer::takeProgramChange(UInt8& program) { return mPrograms.pop(program); }

void LivePlayer::pause() {
    mPauseRequested.store(true);
    // Sequentially consistent with process(): a call that missed the request is still inside.
    while (mInside.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void LivePlayer::resume() { mPauseRequested.store(false); }

void LivePlayer::deliver(const UInt8* bytes, UInt32 size, UInt32 offset) {
    const UInt8 status = bytes[0];
    const UInt32 needed = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
    if (status < 0x80 || status >= 0xF0 || size < needed) return;  // system, running status, cut short
    const UInt8 data1 = bytes[1], data2 = needed == 3 ? bytes[2] : 0;
    if ((data1 | data2) & 0x80) return;
    if ((status & 0xF0) == 0xC0)
        mPrograms.push(data1);  // applied on the main thread
    else
        MusicDeviceMIDIEvent(mUnit, status, data1, data2, offset);
}

void LivePlayer::render(UInt32 frames, float* left, float* right) {
    float* const channels[2] = {left, right};
    if (mCall.render(mUnit, mSampleTime, frames, channels) != noErr) {
        mRenderErrors.fetch_add(1, std::memory_order_relaxed);
        std::memset(left, 0, frames * sizeof(float));
        std::memset(right, 0, frames * sizeof(float));
    } else {
        // A unit may hand back its own buffers.
        if (mCall.channel(0) != left) std::memcpy(left, mCall.channel(0), frames * sizeof(float));
        if (mCall.channel(1) != right) std::memcpy(right, mCall.channel(1), frames * sizeof(float));
    }
    mSampleTime += frames;
}

void LivePlayer::process(std::span<const LiveMidiEvent> events, UInt32 frames, float* const outputs[2]) {
    mInside.store(true);
    if (mPauseRequested.load()) {
        std::memset(outputs[0], 0, frames * sizeof(float));
        std::memset(outputs[1], 0, frames * sizeof(float));
        mInside.store(false);
        return;
    }
    for (Message m; mPosted.pop(m);) {
        const UInt8 bytes[3] = {m.status, m.data1, m.data2};
        deliver(bytes, 3, 0);
    }
    size_t next = 0;
    for (UInt32 done = 0; done < frames;) {
        const UInt32 n = std::min(frames - done, kStep - mPhase), end = done + n;
        // Events stamped beyond the period (a faulty client) go before the last call.
        for (; next < events.size() && (events[next].frame < end || end == frames); ++next)
            deliver(events[next].bytes, events[next].size,
                    std::min(std::max(events[next].frame, done), end - 1) - done);
        render(n, outputs[0] + done, outputs[1] + done);
        mPhase = (mPhase + n) % kStep;
        done = end;
    }
    mInside.store(false);
}
