// The harmonic tables linked into the engine are what the table code computes, bit for
// bit (they were written at build time by another program, through text), and every
// instance plays from a whole copy of them.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>

#include "../support/InstrumentFixture.h"
#include "Velmora/HarmonicTables.h"

namespace {

// The first index where the two arrays' bits differ, or -1.
int firstDifference(const float* a, const float* b, int count) {
    for (int i = 0; i < count; ++i)
        if (std::bit_cast<std::uint32_t>(a[i]) != std::bit_cast<std::uint32_t>(b[i])) return i;
    return -1;
}

constexpr int N = HarmonicTables::kSize, L = HarmonicTables::kLevels;

}  // namespace

TEST(HarmonicTables, LinkedDataIsTheComputationBitForBit) {
    auto computed = std::make_unique<HarmonicTables>();
    computeHarmonicTables(*computed);
    const HarmonicTables& linked = harmonicTables();
    EXPECT_EQ(firstDifference(linked.wave, computed->wave, N), -1);
    EXPECT_EQ(firstDifference(linked.odd, computed->odd, L * N), -1);
    EXPECT_EQ(firstDifference(linked.even, computed->even, L * N), -1);
    EXPECT_EQ(firstDifference(linked.pwm, computed->pwm, L * N), -1);
    EXPECT_EQ(firstDifference(linked.bandLimits, computed->bandLimits, L), -1);

    // Level t holds harmonics up to 2^(t+2) - 2, so the next odd one is 2^(t+2) - 1.
    for (int t = 0; t < L; ++t) EXPECT_EQ(linked.bandLimits[t], float(4096 / (2.5 * ((4 << t) - 1)))) << "level " << t;
}

TEST(HarmonicTables, EveryInstanceHasTheWholeTables) {
    const HarmonicTables& linked = harmonicTables();
    for (double rate : {44100.0, 96000.0}) {
        Instrument a(rate), b(rate);
        for (Instrument* inst : {&a, &b}) {
            const OscillatorTables tables = inst->engine().oscillatorTables();
            EXPECT_EQ(firstDifference(tables.sine, linked.wave, N), -1);
            EXPECT_EQ(firstDifference(tables.odd, linked.odd, L * N), -1);
            EXPECT_EQ(firstDifference(tables.even, linked.even, L * N), -1);
            EXPECT_EQ(firstDifference(tables.pwm, linked.pwm, L * N), -1);
            EXPECT_EQ(firstDifference(tables.bandLimits, linked.bandLimits, L), -1);
        }
    }
}
