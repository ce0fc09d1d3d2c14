// LivePlayer: the real-time side of `velmora play`. The audio thread hands it
// each period's MIDI and output buffers; it renders in calls of at most 64
// frames, on a grid of 64-frame steps that runs on across periods, delivering
// every event before the call that contains its frame, as `velmora render`
// does. Notes from the computer keyboard come in from the main thread, and
// program changes go out to it, through lock-free queues. Nothing on the audio
// thread allocates, locks, logs or throws.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>
#include <span>

#include "Platform/AudioUnitCalls.h"
#include "Platform/RenderCall.h"

// One producer thread, one consumer thread; a full queue refuses the item.
template <class T, size_t Capacity>
class SpscQueue {
public:
    bool push(const T& item) {
        const size_t tail = mTail.load(std::memory_order_relaxed);
        if (tail - mHead.load(std::memory_order_acquire) == Capacity) return false;
        mItems[tail % Capacity] = item;
        mTail.store(tail + 1, std::memory_order_release);
        return true;
    }
    bool pop(T& item) {
        const size_t head = mHead.load(std::memory_order_relaxed);
        if (head == mTail.load(std::memory_order_acquire)) return false;
        item = mItems[head % Capacity];
        mHead.store(head + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<T, Capacity> mItems{};
    std::atomic<size_t> mHead{0}, mTail{0};
};

// A MIDI message at a frame of the period; `size` is the message's length as
// received (longer ones keep their first three bytes).
struct LiveMidiEvent {
    UInt32 frame;
    UInt32 size;
    UInt8 bytes[3];
};

class LivePlayer {
public:
    static constexpr UInt32 kStep = 64;

    // The unit must be initialized with at least 64 frames per slice and two
    // output channels.
    explicit LivePlayer(AudioUnit unit);

    // Audio thread. `events` in time order; `outputs` two buffers of `frames`.
    // Channel messages complete for their status byte go to the instrument,
    // program changes to the main thread; everything else is dropped.
    void process(std::span<const LiveMidiEvent> events, UInt32 frames, float* const outputs[2]);

    // Main thread: a message to play at the start of the next period.
    bool post(UInt8 status, UInt8 data1, UInt8 data2);
    // Main thread: the next program change received, if any.
    bool takeProgramChange(UInt8& program);
    // Render calls that failed (their frames are silent), for the main thread to report.
    long renderErrors() const { return mRenderErrors.load(std::memory_order_relaxed); }

    // Main thread: stops the audio thread from touching the unit (it writes
    // silence) and waits until it no longer does, so that the unit can be
    // re-initialized; resume() lets it play again.
    void pause();
    void resume();

private:
    struct Message {
        UInt8 status, data1, data2;
    };
    void deliver(const UInt8* bytes, UInt32 size, UInt32 offset);
    void render(UInt32 frames, float* left, float* right);

    AudioUnit mUnit;
    RenderCall mCall;
    Float64 mSampleTime = 0;
    UInt32 mPhase = 0;  // frames into the current 64-frame step
    SpscQueue<Message, 256> mPosted;
    SpscQueue<UInt8, 64> mPrograms;
    std::atomic<long> mRenderErrors{0};
    std::atomic<bool> mPauseRequested{false}, mInside{false};
};
