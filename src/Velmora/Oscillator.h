// Oscillator: one table oscillator of the voice, "saw o/e", "digiwave" or "pwm":
// its phases, increments and gains, and the readers of the three waves. Truncated
// phases, no interpolation; band-limited by choosing and crossfading levels.
#pragma once
#include "Platform/MacTypes.h"
#include "Velmora/VelmoraParameters.h"

// The engine's shared tables, read only: the one-cycle sine, the ten odd and ten even
// harmonic levels and the ten "pwm" levels (kSize samples each), and the increment up to
// which each level plays alone.
struct OscillatorTables {
    static constexpr int kSize = 4096, kLevels = 10;
    const float* sine;
    const float* odd;
    const float* even;
    const float* pwm;
    const float* bandLimits;
};

class Oscillator {
public:
    // The increments and gains of `wave` at `note` with the two shapes ("Mo'logy" and
    // "Vari"); phaseInc(note) gives a note's increment in cycles per sample. Other waves
    // leave everything as it was.
    template <class PhaseInc>
    void set(int wave, float note, float shape1, float shape2, PhaseInc&& phaseInc) {
        switch (wave) {
            case kWaveSawOE: {
                sineInc = phaseInc(note) * OscillatorTables::kSize;
                if (shape1 == 0.0f) {
                    // note + 0 and note - 0 are note again: the same increment, without two more lookups.
                    oddInc = evenInc = sineInc;
                } else {
                    oddInc = phaseInc(float(note + shape1 * 0.01)) * OscillatorTables::kSize;
                    evenInc = phaseInc(float(note - shape1 * 0.01)) * OscillatorTables::kSize;
                }
                const float g = float(shape2 * 0.02);
                oddGain = g;
                evenGain = float(2.0 - g);
                break;
            }
            case kWaveDigiwave: {
                sineInc = phaseInc(note) * OscillatorTables::kSize;
                const float b = float(shape2 * 0.02);
                oddGain = float(b * (shape1 * 0.02));
                evenGain = float((2.0 - b) * (shape1 * 0.02));
                break;
            }
            case kWavePwm: {
                sineInc = phaseInc(note) * OscillatorTables::kSize;
                const float w = float(shape2 * 0.01);
                oddGain = w;
                evenGain = float(1.0 - w);
                break;
            }
            default: break;
        }
    }

    // `frames` samples of each wave into `out`, advancing the phases.
    void processVoice(const OscillatorTables& tables, float* out, int frames);  // "saw o/e"
    void processPD1(const OscillatorTables& tables, float* out, int frames);    // "digiwave"
    void processPWM(const OscillatorTables& tables, float* out, int frames);    // "pwm"

    // A gate-on starts every wave at phase 0.
    void restart() { sinePhase = oddPhase = evenPhase = 0; }
    // Takes the phases of an oscillator that rendered this one's samples.
    void followPhases(const Oscillator& other) {
        sinePhase = other.sinePhase;
        oddPhase = other.oddPhase;
        evenPhase = other.evenPhase;
    }
    // Whether this oscillator, playing the same wave as `other`, renders the same samples:
    // the same increments, gains and phases, bit for bit.
    bool playsLike(const Oscillator& other) const;

private:
    // The two harmonic levels to read for an increment and the weight x of the lower one
    // (the one with more harmonics gets 1 - x), kept for the increment they were chosen for.
    struct Levels {
        int lo, hi;
        float x;
    };
    Levels levelsFor(const OscillatorTables& tables);

    float sineInc = 1.0f, oddInc = 1.0f, evenInc = 1.0f;
    float sinePhase = 0, oddPhase = 0, evenPhase = 0;
    float oddGain = 0, evenGain = 0;  // the two readers' weights; the widths of "pwm"
    Levels levels{};
    UInt32 levelsInc = 0;                 // the bits of sineInc that levels were chosen for
    const float* levelsLimits = nullptr;  // and the band limits; null: not chosen yet
};
