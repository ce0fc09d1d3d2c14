// renderSong: block-by-block playback of a song, with automation, streamed in chunks.
#include "Host/SongRenderer.h"

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

// About 0.2 s at 44.1 kHz: large writes, little memory, and few clock reads.
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
    // Events are in time order.
    const std::vector<MidiEvent>& events = song.events;
    std::vector<Automation> automation = options.automation;
    std::stable_sort(automation.begin(), automation.end(),
                     [](const Automation& a, const Automation& b) { return a.frame < b.frame; });
    const long long lastFrame = lastEventFrame(song, options);
    const long long limit = maxRenderFrames(song, options);

    RenderResult result;
    const UInt32 block = options.blockFrames, channelCount = options.channels;
    // Blocks are rendered a chunk at a time, straight into one buffer per channel, and the
    // chunk's render calls are timed as one: a clock read costs up to a microsecond here.
    const size_t chunkFrames = block * std::max<size_t>(1, kChunkFrames / block);
    std::vector<std::vector<float>> planar(channelCount, std::vector<float>(chunkFrames));
    std::vector<float*> channels(channelCount);
    std::vector<float> chunk(chunkFrames * channelCount);
    const double clockPair = threadCpuClockPairSeconds();
    std::vector<long long> eventFrames(events.size());
    for (size_t i = 0; i < events.size(); ++i) eventFrames[i] = frameOf(events[i].seconds, options.sampleRate);

    size_t nextEvent = 0, nextAutomation = 0;
    bool idle = false;
    for (long long start = 0; start < limit && !idle;) {
        size_t filled = 0;
        const double before = threadCpuSeconds();
        while (filled < chunkFrames && start < limit) {
            const UInt32 frames = UInt32(std::min<long long>(block, limit - start));
            const long long end = start + frames;
            for (; nextAutomation < automation.size() && automation[nextAutomation].frame < end; ++nextAutomation)
                instrument.setParameter(automation[nextAutomation].id, automation[nextAutomation].value);
            for (; nextEvent < events.size() && eventFrames[nextEvent] < end; ++nextEvent) {
                const MidiEvent& e = events[nextEvent];
                instrument.midi(e.status, e.data1, e.data2, UInt32(std::max(0LL, eventFrames[nextEvent] - start)));
            }
            for (UInt32 c = 0; c < channelCount; ++c) channels[c] = planar[c].data() + filled;
            instrument.render(frames, channels);
            filled += frames;
            start = end;
            // An idle voice writes exact zeros; a sounding one never does.
            if (options.frames < 0 && start > lastFrame && nextEvent == events.size() &&
                std::all_of(channels.begin(), channels.end(), [&](const float* c) {
                    return std::all_of(c, c + frames, [](float s) { return s == 0.0f; });
                })) {
                idle = true;
                break;
            }
        }
        result.renderCpuSeconds += threadCpuSeconds() - before - clockPair;

        float* out = chunk.data();
        for (size_t i = 0; i < filled; ++i)
            for (UInt32 c = 0; c < channelCount; ++c) {
                const float s = planar[c][i], magnitude = std::fabs(s);
                *out++ = s;
                result.peak = std::max(result.peak, magnitude);
                result.beyondFullScale += magnitude > 1.0f;
            }
        result.frames += (long long)filled;
        sink(std::span<const float>(chunk.data(), filled * channelCount));
        if (progress) progress(double(start) / double(limit));
    }
    result.renderCpuSeconds = std::max(0.0, result.renderCpuSeconds);
    return result;
}
