// ADSR: the envelope generator, one level per render slice, quadratic segments.
#pragma once
#include "Platform/Relaxed.h"

class ADSR {
public:
    enum Stage { kAttack = 0, kDecay = 1, kSustain = 2, kRelease = 3, kIdle = 4 };

    // Parameter thread. Values 0..100: times of 8 * (p / 100)^3 seconds, sustain level p / 100.
    void setEnv(float A, float D, float S, float R, double sampleRate);
    // Render thread from here on.
    void setGate(bool g);
    void reset();
    float getValue() const { return value; }
    // The level for the block that starts now; then advances by `samples`.
    double proceed(long samples);

    int stageNow() const { return stage; }
    float phaseNow() const { return phase; }  // seconds in the present stage

private:
    void startFirstStage();

    // Each field is shared between the parameter and the render thread.
    Relaxed<float> value{0.0f};
    Relaxed<float> phase{0.0f};
    Relaxed<float> a{0.0f};
    Relaxed<float> d{0.0f};
    Relaxed<float> s{0.0f};
    Relaxed<float> r{0.0f};
    Relaxed<bool> gate{false};
    Relaxed<int> stage{kIdle};
    Relaxed<float> timefactor{2.2675737e-05f};  // 1 / 44100 until configured
    Relaxed<float> valueonrelease{0.0f};
};
