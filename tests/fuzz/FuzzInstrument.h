// The instrument as the fuzz targets drive it: opened through the registry,
// set to a stereo float output, initialized, and rendered into buffers the
// target owns. Diagnostic lines are silenced.
#pragma once
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Binding/VelmoraEntry.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"
#include "Platform/RenderCall.h"

namespace fuzz {

// Stops the run with a message: libFuzzer records the input as a crash.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// One instance per input, closed when the input is done.
class Instrument {
public:
    static constexpr UInt32 kMaxFrames = 1152;  // the frame's default maximum per call

    explicit Instrument(bool initialize = true) {
        SetPlatformLogHook(PlatformLogSilent);
        if (OpenAComponent(RegisterVelmora(), &unit) != noErr) fail("cannot open the instrument");
        const AudioStreamBasicDescription f = CanonicalOutputFormat(44100, 2);
        if (AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof f) !=
            noErr)
            fail("cannot set the output format");
        if (initialize && AudioUnitInitialize(unit) != noErr) fail("cannot initialize the instrument");
    }
    ~Instrument() { CloseComponent(unit); }
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    // One render call; the host's buffers, or null data pointers so that the
    // unit renders into its own memory. Returns the call's status.
    OSStatus render(UInt32 frames, bool hostBuffers = true) {
        if (frames > kMaxFrames * 2) frames = kMaxFrames * 2;
        left.assign(frames, 7.0f);
        right.assign(frames, 7.0f);
        float* const channels[2] = {hostBuffers ? left.data() : nullptr, hostBuffers ? right.data() : nullptr};
        const OSStatus status = call.render(unit, sampleTime, frames, channels);
        sampleTime += frames;
        // Where the unit rendered into its own memory it hands back its pointers.
        rendered = status == noErr ? frames : 0;
        for (UInt32 c = 0; c < 2; ++c) out[c] = call.channel(c);
        return status;
    }

    // True when every sample of the last successful render is finite.
    bool lastRenderFinite() const {
        for (const float* channel : out)
            if (channel)
                for (UInt32 i = 0; i < rendered; ++i)
                    if (!std::isfinite(channel[i])) return false;
        return true;
    }

    AudioUnit unit = nullptr;
    double sampleTime = 0;

private:
    std::vector<float> left, right;
    RenderCall call;
    UInt32 rendered = 0;
    const float* out[2] = {nullptr, nullptr};
};

}  // namespace fuzz
