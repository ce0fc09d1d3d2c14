// sweepPreset: a factory preset played over a grid of keys, velocities and controller
// positions, each strike measured for its true peak, to find the highest peak any playing
// reaches (`velmora presets --measure --sweep`).
#pragma once
#include <cmath>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/AudioUnitCalls.h"

struct SweepGrid {
    std::vector<int> keys, velocities, wheels, pressures;
    std::vector<int> bends;  // 14-bit pitch-wheel values, 8192 at rest
    int strikes = 2;         // each combination is struck this many times in a row
    // Long enough for the slowest attack of the factory presets to open ("deep pad [MW]":
    // envelope 2 takes 1.73 s).
    double holdSeconds = 2.0;
    double gapSeconds = 0.25;  // after each note-off, before the next strike

    // Keys 24-100 in steps of 4; velocities 1, 64, 127; wheel and pressure at 0, half and
    // full; the bend at rest and at both ends.
    static SweepGrid full();
    // Keys 24-96 in steps of 12; velocities 127 and 1; wheel and pressure at 0 and full.
    static SweepGrid coarse();

    size_t strikeCount() const;
};

// Where a strike was played.
struct SweepPoint {
    int key = 0, velocity = 0, wheel = 0, pressure = 0, bend = 8192;
    int strike = 0;  // 1 for the first strike of its combination
};

struct SweepFigures {
    double worstTruePeakDb = -HUGE_VAL;  // over every strike, from its note-on to the next strike
    SweepPoint worst;
    size_t strikes = 0;
    double oversampledShare = 0;  // of the samples, those the true peak was computed around
};

// Renders with a fresh instance at 44.1 kHz, one channel, in a stream: one strike is held
// in memory at a time. Stretches whose samples show that they cannot exceed the worst true
// peak found so far are not oversampled, unless `oversampleEverything` (the answer is the same).
SweepFigures sweepPreset(const ComponentDescription& description, SInt32 preset, const SweepGrid& grid,
                         bool oversampleEverything = false);

// Sweeps each preset on up to `threads` threads and hands the figures to `done` in the
// order of `presets`, on the calling thread, as soon as each one and those before it are
// ready.
void sweepPresets(const ComponentDescription& description, const std::vector<std::pair<SInt32, std::string>>& presets,
                  const SweepGrid& grid, unsigned threads,
                  const std::function<void(size_t index, const SweepFigures&)>& done);
