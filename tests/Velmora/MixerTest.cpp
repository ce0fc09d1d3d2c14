// The waveshapers and the mixer at known inputs, against values worked out by hand
// from each curve (the arithmetic is in the comments).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Velmora/Mixer.h"

namespace {

struct ShaperCase {
    int type;
    float depth;
    float in;
    double out;
};

// Runs the shaper over a slice of seven copies of `in` (the four-at-a-time loop and
// the rest both see it).
std::vector<float> shaped(int type, float depth, float in) {
    std::vector<float> buffer(7, in);
    ProcessRumble(type, depth, buffer.data(), int(buffer.size()));
    return buffer;
}

}  // namespace

class Shaper : public ::testing::TestWithParam<ShaperCase> {};

TEST_P(Shaper, FollowsItsCurve) {
    const ShaperCase c = GetParam();
    for (float y : shaped(c.type, c.depth, c.in))
        EXPECT_NEAR(y, c.out, 2e-6 * std::max(1.0, std::fabs(c.out)))
            << "type " << c.type << " depth " << c.depth << " at " << c.in;
}

INSTANTIATE_TEST_SUITE_P(
    Curves, Shaper,
    ::testing::Values(
        // "scramble": x - d x |x|.
        ShaperCase{1, 0.5f, 0.5f, 0.5 - 0.5 * 0.25}, ShaperCase{1, 0.5f, -1.0f, -1 + 0.5},
        ShaperCase{1, 0.5f, 2.0f, 0.0}, ShaperCase{1, 1.0f, 0.25f, 0.25 - 0.0625},
        // "engage": with h = x / 2, 2h / ((1.01 - d) + d h^2 + 0.01) = x / (1.02 - d + d x^2 / 4).
        ShaperCase{2, 0.5f, 0.5f, 0.5 / (0.52 + 0.03125)}, ShaperCase{2, 0.5f, -1.0f, -1 / (0.52 + 0.125)},
        ShaperCase{2, 0.5f, 2.0f, 2 / (0.52 + 0.5)}, ShaperCase{2, 0.0f, 1.0f, 1 / 1.02},
        // "degenerat": q = 102 - 100 d levels per unit, toward zero; d 0.9 gives twelfths.
        ShaperCase{3, 0.9f, 0.3f, 3.0 / 12}, ShaperCase{3, 0.9f, -0.3f, -3.0 / 12},
        ShaperCase{3, 0.9f, 0.99f, 11.0 / 12}, ShaperCase{3, 0.0f, 0.504f, 51.0 / 102},
        // "wedge": with s = x^2 (4d + 1), 1.4 x / (((0.007 s - 0.09) s + 0.8) s + 0.7).
        // d 0, x 1: s 1, denominator 0.007 - 0.09 + 0.8 + 0.7 = 1.417.
        ShaperCase{4, 0.0f, 1.0f, 1.4 / 1.417},
        // d 0.5, x 0.5: s 0.75; (0.00525 - 0.09) 0.75 = -0.0635625; (0.7364375) 0.75 + 0.7 = 1.252328125.
        ShaperCase{4, 0.5f, 0.5f, 0.7 / 1.252328125},
        // d 0.5, x -1: s 3; (0.021 - 0.09) 3 = -0.207; 0.593 * 3 + 0.7 = 2.479.
        ShaperCase{4, 0.5f, -1.0f, -1.4 / 2.479},
        // d 1, x 2: s 20; (0.14 - 0.09) 20 = 1; 1.8 * 20 + 0.7 = 36.7.
        ShaperCase{4, 1.0f, 2.0f, 2.8 / 36.7},
        // Near zero the curve's slope is 1.4 / 0.7 = 2.
        ShaperCase{4, 0.5f, 1e-4f, 2e-4},
        // Off and unknown types leave the signal alone.
        ShaperCase{0, 0.7f, 0.3f, 0.3}, ShaperCase{5, 0.7f, 0.3f, 0.3}, ShaperCase{-1, 0.7f, 0.3f, 0.3}));

TEST(Mix, EachModeCombinesTheTwoPaths) {
    // Path B carries 0.5 and -0.25, path A 0.25 and -1 (repeated over an odd slice).
    const std::vector<float> a = {0.25f, -1.0f, 0.25f, -1.0f, 0.25f, -1.0f, 0.25f};
    const std::vector<float> b = {0.5f, -0.25f, 0.5f, -0.25f, 0.5f, -0.25f, 0.5f};
    struct ModeCase {
        int mode;
        float first, second;  // what path B holds afterwards
    };
    for (const ModeCase m : {ModeCase{0, 0.375f, -0.625f},  // "2 + 1": the average
                             ModeCase{1, 0.125f, 0.375f},   // "2 - 1": half the difference
                             ModeCase{2, 0.125f, -0.25f},   // "2 x 1": B times |A|
                             ModeCase{3, 0.25f, -1.0f},     // "1": A alone
                             ModeCase{4, 0.5f, -0.25f},     // others: B as it was
                             ModeCase{-1, 0.5f, -0.25f}}) {
        std::vector<float> out = b;
        ProcessMix(out.data(), a.data(), int(out.size()), m.mode);
        for (size_t i = 0; i < out.size(); ++i)
            EXPECT_EQ(out[i], i % 2 ? m.second : m.first) << "mode " << m.mode << " sample " << i;
    }
}
