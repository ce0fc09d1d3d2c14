// What the benchmarks share: the instrument opened through the host-side calls, its
// engine object and the pattern (and, through ThreadClock.h, the thread's CPU clock).
#pragma once
#include <memory>
#include <string>

#include "Binding/VelmoraEntry.h"
#include "Host/HostedInstrument.h"
#include "PatternPlayer.h"
#include "Platform/ThreadClock.h"
#include "Velmora/VelmoraAU.h"

namespace bench {

constexpr double kSampleRate = 44100;
constexpr UInt32 kBlock = 64;

// The instrument, registered and opened as a host does, at 44.1 kHz stereo,
// initialized, with at most 64 frames per render call.
inline std::unique_ptr<HostedInstrument> openInstrument() {
    RegisterVelmora();
    auto instrument = std::make_unique<HostedInstrument>(kVelmoraDescription);
    instrument->configure(kSampleRate, 2, kBlock);
    return instrument;
}

inline VelmoraAU& engine(HostedInstrument& instrument) {
    return *static_cast<VelmoraAU*>(GetComponentInstanceStorage(instrument.unit()));
}

// The song every whole-instrument benchmark plays (set by main from --pattern=FILE).
const PatternPlayer& pattern();

}  // namespace bench
