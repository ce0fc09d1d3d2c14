// renderSong: block-by-block playback of a song, with automation.
#include "SongRenderer.h"

#include <time.h>

#include <algorithm>
#include <cmath>

namespace {
double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
}  // namespace

RenderResult renderSong(HostedInstrument& instrument, const MidiSong& song, const RenderOptions& options,
                        const std::function<void(double)>& progress) {
    struct TimedEvent {
        long long frame;
        MidiEvent event;
    };
    std::vector<TimedEvent> events;
    events.reserve(song.events.size());
    for (const MidiEvent& e : song.events) events.push_back({std::llround(e.seconds * options.sampleRate), e});
    std::vector<Automation> automation = options.automation;
    std::stable_sort(automation.begin(), automation.end(),
                     [](const Automation& a, const Automation& b) { return a.frame < b.frame; });

    long long lastEventFrame = 0;
    for (auto& e : events) lastEventFrame = std::max(lastEventFrame, e.frame);
    for (auto& a : automation) lastEventFrame = std::max(lastEventFrame, a.frame);
    const long long limit = options.frames >= 0
                                ? options.frames
                                : lastEventFrame + 1 + std::llround(options.tailSeconds * options.sampleRate);

    RenderResult result;
    const UInt32 block = options.blockFrames;
    std::vector<std::vector<float>> channelBuffers(options.channels, std::vector<float>(block));
    std::vector<float*> channels;
    for (auto& c : channelBuffers) channels.push_back(c.data());

    size_t nextEvent = 0, nextAutomation = 0;
    for (long long start = 0; start < limit;) {
        const UInt32 frames = UInt32(std::min<long long>(block, limit - start));
        const long long end = start + frames;
        for (; nextAutomation < automation.size() && automation[nextAutomation].frame < end; ++nextAutomation)
            instrument.setParameter(automation[nextAutomation].id, automation[nextAutomation].value);
        for (; nextEvent < events.size() && events[nextEvent].frame < end; ++nextEvent) {
            const TimedEvent& e = events[nextEvent];
            const long long offset = std::max(0LL, e.frame - start);
            instrument.midi(e.event.status, e.event.data1, e.event.data2, UInt32(offset));
        }
        const double before = threadCpuSeconds();
        instrument.render(frames, channels);
        result.renderCpuSeconds += threadCpuSeconds() - before;

        bool silentBlock = true;
        for (UInt32 i = 0; i < frames; ++i)
            for (UInt32 c = 0; c < options.channels; ++c) {
                result.samples.push_back(channels[c][i]);
                silentBlock = silentBlock && channels[c][i] == 0.0f;
            }
        start = end;
        // An idle voice writes exact zeros; a sounding one never does.
        if (options.frames < 0 && silentBlock && start > lastEventFrame && nextEvent == events.size()) break;
        if (progress) progress(double(start) / double(limit));
    }
    result.frames = (long long)(result.samples.size() / options.channels);
    return result;
}
