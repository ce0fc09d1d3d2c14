// measurePreset: the figures `velmora presets --measure` prints for one factory preset:
// loudness, true peak and DC over a phrase, and what the mod wheel does to one held note.
#pragma once
#include <array>
#include <functional>
#include <span>

#include "Host/Smf.h"
#include "Platform/AudioUnitCalls.h"

// The wheel values the held note is measured at.
inline constexpr std::array<int, 5> kWheelSteps{0, 32, 64, 96, 127};

struct NoteFigures {
    double lufs = 0;              // integrated loudness of the held part
    double centroidHz = 0;        // spectral centroid, energy-weighted over 50-ms frames
    double levelSpreadDb = 0;     // standard deviation of the 50-ms levels
    double brightnessSpread = 0;  // standard deviation of the 50-ms centroids over their mean
    friend bool operator==(const NoteFigures&, const NoteFigures&) = default;
};

struct PresetFigures {
    double lufs = 0;        // integrated loudness (BS.1770) over the phrase
    double truePeakDb = 0;  // true peak anywhere in the phrase
    double worstDc = 0;     // the held note (key 48 and up) whose mean is farthest from zero
    int worstDcKey = -1;
    std::array<NoteFigures, kWheelSteps.size()> wheel;  // key 60, velocity 100, at each wheel step
    // The phrase without its wheel events, the wheel held at 0 and at 127 throughout (both
    // equal `lufs` when the wheel changes nothing on the held note).
    double restLufs = 0, wheelFullLufs = 0;
};

// The wheel answers when the held note changes by 3 LU, or its centroid by 30 %, or its level or
// brightness wobble doubles or halves between wheel 0 and 127, and that change goes one way
// over the steps. `how` names what changed.
bool wheelAnswers(const PresetFigures& f, const char** how = nullptr);

// Renders with a fresh instance of `description` at 44.1 kHz, one channel (measured as dual
// mono, as loud as stereo).
// The rate presets are measured at.
constexpr double kMeasureRate = 44100;

// Plays `song` (for `frames`, or to its end and tail with -1) with a fresh
// instance of the instrument on `preset`, in mono at kMeasureRate, into `sink`.
void playPreset(const ComponentDescription& description, SInt32 preset, const MidiSong& song, long long frames,
                const std::function<void(std::span<const float>)>& sink);

PresetFigures measurePreset(const ComponentDescription& description, SInt32 preset, const MidiSong& phrase);
