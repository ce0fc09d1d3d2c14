// renderSong: plays a MIDI song through the instrument block by block and hands
// the audio on in chunks as it goes, so that memory does not grow with the length.
#pragma once
#include <functional>
#include <span>
#include <vector>

#include "Host/HostedInstrument.h"
#include "Host/Smf.h"
#include "Host/SongPlayer.h"

// Measured on the stream.
struct RenderResult {
    long long frames = 0;
    float peak = 0;                 // the largest magnitude of any sample
    long long beyondFullScale = 0;  // samples of magnitude above 1
    double renderCpuSeconds = 0;    // CPU time spent inside the render calls
};

// Interleaved samples, `channels` per frame, whole frames; may throw to stop the render.
using AudioSink = std::function<void(std::span<const float>)>;

// The song as a SongPlayer plays it; the sink gets at most maxRenderFrames.
RenderResult renderSong(HostedInstrument& instrument, const MidiSong& song, const RenderOptions& options,
                        const AudioSink& sink, const std::function<void(double)>& progress = {});
