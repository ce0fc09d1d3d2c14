// SongPlayer: events and automation to the instrument before the block they fall in.
#include "Host/SongPlayer.h"

#include <algorithm>
#include <cmath>

namespace {

// A song may place an event centuries away: such frames are held at 2^62, far
// beyond any render, so that the sums below cannot overflow.
constexpr long long kFarFrame = 1LL << 62;
long long frameOf(double seconds, double sampleRate) {
    const double frame = seconds * sampleRate;
    return frame < double(kFarFrame) ? std::llround(frame) : kFarFrame;
}

long long lastEventFrame(const MidiSong& song, const RenderOptions& options) {
    long long last = 0;
    for (const MidiEvent& e : song.events) last = std::max(last, frameOf(e.seconds, options.sampleRate));
    for (const Automation& a : options.automation) last = std::max(last, a.frame);
    return last;
}

}  // namespace

long long maxRenderFrames(const MidiSong& song, const RenderOptions& options) {
    if (options.frames >= 0) return options.frames;
    return lastEventFrame(song, options) + 1 + std::llround(options.tailSeconds * options.sampleRate);
}

SongPlayer::SongPlayer(const MidiSong& song, const RenderOptions& options)
    : mAutomation(options.automation),
      mLimit(maxRenderFrames(song, options)),
      mLastFrame(lastEventFrame(song, options)),
      mBlockFrames(options.blockFrames),
      mFixedLength(options.frames >= 0) {
    // Events are in time order.
    mEvents.reserve(song.events.size());
    for (const MidiEvent& e : song.events)
        mEvents.push_back({frameOf(e.seconds, options.sampleRate), e.status, e.data1, e.data2});
    std::stable_sort(mAutomation.begin(), mAutomation.end(),
                     [](const Automation& a, const Automation& b) { return a.frame < b.frame; });
}

UInt32 SongPlayer::nextBlockFrames() const {
    return UInt32(std::clamp<long long>(mLimit - mPosition, 0, mBlockFrames));
}

OSStatus SongPlayer::deliver(InstrumentDriver& instrument, UInt32 frames) {
    const long long end = mPosition + frames;
    for (; mNextAutomation < mAutomation.size() && mAutomation[mNextAutomation].frame < end; ++mNextAutomation) {
        const Automation& a = mAutomation[mNextAutomation];
        if (const OSStatus status = instrument.setParameter(a.id, a.value); status != noErr) {
            mFailedCall = "setting a parameter";
            return status;
        }
    }
    for (; mNextEvent < mEvents.size() && mEvents[mNextEvent].frame < end; ++mNextEvent) {
        const DueEvent& e = mEvents[mNextEvent];
        const UInt32 offset = UInt32(std::max(0LL, e.frame - mPosition));
        if (const OSStatus status = instrument.midi(e.status, e.data1, e.data2, offset); status != noErr) {
            mFailedCall = "sending a MIDI event";
            return status;
        }
    }
    return noErr;
}

void SongPlayer::advance(std::span<float* const> channels, UInt32 frames) {
    mPosition += frames;
    if (!mFixedLength && mPosition > mLastFrame && mNextEvent == mEvents.size() &&
        std::all_of(channels.begin(), channels.end(),
                    [&](const float* c) { return std::all_of(c, c + frames, [](float s) { return s == 0.0f; }); }))
        mIdle = true;
}

OSStatus SongPlayer::renderBlock(InstrumentDriver& instrument, std::span<float* const> channels, UInt32& frames) {
    frames = nextBlockFrames();
    if (const OSStatus status = deliver(instrument, frames); status != noErr) return status;
    if (const OSStatus status = instrument.render(frames, channels); status != noErr) {
        mFailedCall = "rendering";
        return status;
    }
    advance(channels, frames);
    return noErr;
}
