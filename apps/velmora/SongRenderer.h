// renderSong: plays a MIDI song through the instrument block by block.
#pragma once
#include <functional>
#include <vector>

#include "HostedInstrument.h"
#include "Smf.h"

struct Automation {
    long long frame;
    AudioUnitParameterID id;
    float value;
};

struct RenderOptions {
    double sampleRate = 44100;
    UInt32 blockFrames = 64;
    UInt32 channels = 2;
    long long frames = -1;       // exact length; -1: until the voice is idle after the last event
    double tailSeconds = 30;     // at most this long past the last event
    std::vector<Automation> automation;
};

struct RenderResult {
    std::vector<float> samples;  // interleaved, `channels` per frame
    long long frames = 0;
    double renderCpuSeconds = 0;  // CPU time spent inside the render calls
};

// Each event is delivered before the render call of the block that contains
// its frame (its time in seconds times the rate, rounded), with its offset in
// that block; automation is written before the block's events.
RenderResult renderSong(HostedInstrument& instrument, const MidiSong& song, const RenderOptions& options,
                        const std::function<void(double)>& progress = {});
