// A test host for the instrument: opens it through the registry and drives it
// only through the host-side calls.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "Binding/VelmoraEntry.h"
#include "Platform/AudioUnitCalls.h"
#include "Platform/Log.h"
#include "Platform/RenderCall.h"
#include "Velmora/VelmoraAU.h"

class Instrument {
public:
    explicit Instrument(double sampleRate = 44100, UInt32 channels = 2, bool initialize = true) {
        SetPlatformLogHook(PlatformLogSilent);
        Component comp = RegisterVelmora();
        EXPECT_EQ(OpenAComponent(comp, &unit), noErr);
        setFormat(sampleRate, channels);
        if (initialize) {
            EXPECT_EQ(AudioUnitInitialize(unit), noErr);
        }
    }
    ~Instrument() { CloseComponent(unit); }
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    OSStatus setFormat(double sampleRate, UInt32 channels) {
        const AudioStreamBasicDescription f = CanonicalOutputFormat(sampleRate, channels);
        this->channels = channels;
        return AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &f, sizeof f);
    }

    OSStatus set(AudioUnitParameterID id, float value) {
        return AudioUnitSetParameter(unit, id, kAudioUnitScope_Global, 0, value, 0);
    }
    // Envelope 1 without attack or decay, held at full level: the amplitude is the volume's.
    void fullAmplitudeEnvelope() {
        set(kA1, 0);
        set(kD1, 0);
        set(kS1, 100);
    }
    float get(AudioUnitParameterID id) {
        float v = -12345;
        EXPECT_EQ(AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &v), noErr);
        return v;
    }
    OSStatus midi(UInt8 status, UInt8 d1, UInt8 d2, UInt32 offset = 0) {
        return MusicDeviceMIDIEvent(unit, status, d1, d2, offset);
    }
    void noteOn(UInt8 key, UInt8 velocity = 100, UInt32 offset = 0) { midi(0x90, key, velocity, offset); }
    void noteOff(UInt8 key, UInt32 offset = 0) { midi(0x80, key, 0, offset); }

    // One render call of `frames`, channel 0 returned (channel 1 in *second).
    std::vector<float> render(UInt32 frames, std::vector<float>* second = nullptr) {
        std::vector<std::vector<float>> bufs(channels, std::vector<float>(frames, 7.0f));
        std::vector<float*> pointers;
        for (auto& b : bufs) pointers.push_back(b.data());
        RenderCall call;
        lastStatus = call.render(unit, sampleTime, frames, pointers);
        sampleTime += frames;
        if (second && channels > 1) *second = bufs[1];
        return bufs[0];
    }
    // Renders `frames` in calls of `block`, concatenated.
    std::vector<float> renderBlocks(UInt32 frames, UInt32 block = 64) {
        std::vector<float> out;
        for (UInt32 done = 0; done < frames; done += block) {
            auto part = render(std::min(block, frames - done));
            out.insert(out.end(), part.begin(), part.end());
        }
        return out;
    }

    // The engine behind the unit, for reading its voice state.
    VelmoraAU& engine() { return *static_cast<VelmoraAU*>(GetComponentInstanceStorage(unit)); }

    AudioUnit unit = nullptr;
    UInt32 channels = 2;
    double sampleTime = 0;
    OSStatus lastStatus = noErr;
};

// The first frame whose magnitude exceeds `threshold`, or -1.
inline long firstAbove(const std::vector<float>& s, float threshold, size_t from = 0) {
    for (size_t i = from; i < s.size(); ++i)
        if (s[i] > threshold || s[i] < -threshold) return long(i);
    return -1;
}
