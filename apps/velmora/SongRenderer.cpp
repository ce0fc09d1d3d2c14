// renderSong: block-by-block playback of a song, with automation, streamed in chunks.
#include "SongRenderer.h"

#include <algorithm>
#include <cmath>

#include "Platform/ThreadClock.h"

namespace {

// A song may place an event centuries away: such frames are held at 2^62, far
// beyond any render, so that the sums below cannot overflow.
constexpr long long kFarFrame = 1LL << 62;
long long frameOf(double seconds, double sampleRate) {
    const double frame = seconds * sampleRate;
    return frame < double(kFarFrame) ? std::llround(frame) : kFarFrame;
}

// About 0.2 s at 44.1 kHz: large writes, little memory.
constexpr size_t kChunkFrames = 8192;

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

RenderResult renderSong(HostedInstrument& instrument, const MidiSong& song, const RenderOptions& options,
                        const AudioSink& sink, const std::function<void(double)>& progress) {
    // Events are in time order: each one's frame is computed when it comes up.
    const std::vector<MidiEvent>& events = song.events;
    std::vector<Automation> automation = options.automation;
    std::stable_sort(automation.begin(), automation.end(),
                     [](const Automation& a, const Automation& b) { return a.frame < b.frame; });
    const long long lastFrame = lastEventFrame(song, options);
    const long long limit = maxRenderFrames(song, options);

    RenderResult result;
    const UInt32 block = options.blockFrames, channelCount = options.channels;
    std::vector<std::vector<float>> channelBuffers(channelCount, std::vector<float>(block));
    std::vector<float*> channels;
    for (auto& c : channelBuffers) channels.push_back(c.data());
    std::vector<float> chunk;
    chunk.reserve((kChunkFrames + block) * channelCount);

    size_t nextEvent = 0, nextAutomation = 0;
    for (long long start = 0; start < limit;) {
        const UInt32 frames = UInt32(std::min<long long>(block, limit - start));
        const long long end = start + frames;
        for (; nextAutomation < automation.size() && automation[nextAutomation].frame < end; ++nextAutomation)
            instrument.setParameter(automation[nextAutomation].id, automation[nextAutomation].value);
        for (; nextEvent < events.size(); ++nextEvent) {
            const MidiEvent& e = events[nextEvent];
            const long long frame = frameOf(e.seconds, options.sampleRate);
            if (frame >= end) break;
            instrument.midi(e.status, e.data1, e.data2, UInt32(std::max(0LL, frame - start)));
        }
        const double before = threadCpuSeconds();
        instrument.render(frames, channels);
        result.renderCpuSeconds += threadCpuSeconds() - before;

        bool silentBlock = true;
        for (UInt32 i = 0; i < frames; ++i)
            for (UInt32 c = 0; c < channelCount; ++c) {
                const float s = channels[c][i], magnitude = std::fabs(s);
                chunk.push_back(s);
                silentBlock = silentBlock && s == 0.0f;
                result.peak = std::max(result.peak, magnitude);
                result.beyondFullScale += magnitude > 1.0f;
            }
        result.frames += frames;
        if (chunk.size() >= kChunkFrames * channelCount) {
            sink(chunk);
            chunk.clear();
        }
        start = end;
        // An idle voice writes exact zeros; a sounding one never does.
        if (options.frames < 0 && silentBlock && start > lastFrame && nextEvent == events.size()) break;
        if (progress) progress(double(start) / double(limit));
    }
    if (!chunk.empty()) sink(chunk);
    return result;
}
