// renderSong: plays a MIDI song through the instrument block by block and hands
// the audio on in chunks as it goes, so that memory does not grow with the length.
#pragma once
#include <functional>
#include <span>
#include <vector>

#include "Host/HostedInstrument.h"
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

// Measured on the stream.
struct RenderResult {
    long long frames = 0;
    float peak = 0;                 // the largest magnitude of any sample
    long long beyondFullScale = 0;  // samples of magnitude above 1
    double renderCpuSeconds = 0;    // CPU time spent inside the render calls
};

// Interleaved samples, `channels` per frame, whole frames; may throw to stop the render.
using AudioSink = std::function<void(std::span<const float>)>;

// The most frames renderSong can give: `frames`, or the last event or automation
// plus the tail. Known before rendering, so that a render can be refused up front.
long long maxRenderFrames(const MidiSong& song, const RenderOptions& options);

// Each event is delivered before the render call of the block that contains
// its frame (its time in seconds times the rate, rounded), with its offset in
// that block; automation is written before the block's events.
RenderResult renderSong(HostedInstrument& instrument, const MidiSong& song, const RenderOptions& options,
                        const AudioSink& sink, const std::function<void(double)>& progress = {});
