// renderSong: a SongPlayer's blocks, streamed in chunks and measured.
#include "Host/SongRenderer.h"

#include <algorithm>
#include <cmath>

#include "Platform/ThreadClock.h"

namespace {

// About 0.2 s at 44.1 kHz: large writes, little memory, and few clock reads.
constexpr size_t kChunkFrames = 8192;

}  // namespace

RenderResult renderSong(HostedInstrument& instrument, const MidiSong& song, const RenderOptions& options,
                        const AudioSink& sink, const std::function<void(double)>& progress) {
    SongPlayer player(song, options);
    const long long limit = player.limit();

    RenderResult result;
    const UInt32 block = options.blockFrames, channelCount = options.channels;
    // Blocks are rendered a chunk at a time, straight into one buffer per channel, and the
    // chunk's render calls are timed as one: a clock read costs up to a microsecond here.
    const size_t chunkFrames = block * std::max<size_t>(1, kChunkFrames / block);
    std::vector<std::vector<float>> planar(channelCount, std::vector<float>(chunkFrames));
    std::vector<float*> channels(channelCount);
    std::vector<float> chunk(chunkFrames * channelCount);
    const double clockPair = threadCpuClockPairSeconds();

    while (!player.finished()) {
        size_t filled = 0;
        const double before = threadCpuSeconds();
        while (filled < chunkFrames && !player.finished()) {
            for (UInt32 c = 0; c < channelCount; ++c) channels[c] = planar[c].data() + filled;
            UInt32 frames = 0;
            checkHostCall(player.renderBlock(instrument.driver(), channels, frames), player.failedCall());
            filled += frames;
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
        if (progress) progress(double(player.position()) / double(limit));
    }
    result.renderCpuSeconds = std::max(0.0, result.renderCpuSeconds);
    return result;
}
