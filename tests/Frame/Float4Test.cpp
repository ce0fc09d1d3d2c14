// Float4 gives the scalar operations' bits lane by lane: the engine's four-sample loops
// rely on it for bit-exact output, the SSE version natively and the plain one in the web
// build. Both are checked against scalar code on values where SSE and C++ could differ.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "Platform/Float4.h"

namespace {

const std::vector<float>& awkwardValues() {
    constexpr float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    // clang-format off
    static const std::vector<float> values = {
        0.0f, -0.0f, 1.0f, -1.0f, 0.1f, -0.5f, 2.5f, -2.5f, 1e4f, -1e4f, 8388607.5f, -8388607.5f, 8388608.0f,
        -16777215.0f, 3e9f, -3e9f, 3.4e38f, -3.4e38f, 1e-45f, -1e-45f, 1.17e-38f, inf, -inf, nan, -nan};
    // clang-format on
    return values;
}

unsigned bits(float x) {
    unsigned u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

// What each operation does to one lane (its second operand, for the one-operand ones).
const auto kAdd = [](float x, float y) { return x + y; };
const auto kSubtract = [](float x, float y) { return x - y; };
const auto kMultiply = [](float x, float y) { return x * y; };
const auto kGreaterOr = [](float x, float y) { return x > y ? x : y; };
const auto kLessOr = [](float x, float y) { return x < y ? x : y; };
const auto kNaNToZero = [](float, float y) { return y == y ? y : 0.0f; };
const auto kTruncated = [](float, float y) { return std::trunc(y); };

template <class F4>
class Float4Lanes : public ::testing::Test {};

#if defined(__SSE2__)
using Kinds = ::testing::Types<PlainFloat4, SseFloat4>;
#else
using Kinds = ::testing::Types<PlainFloat4>;
#endif
TYPED_TEST_SUITE(Float4Lanes, Kinds);

TYPED_TEST(Float4Lanes, EveryOperationGivesTheScalarBits) {
    using F4 = TypeParam;
    const std::vector<float>& v = awkwardValues();
    float out[4];
    for (float a : v)
        for (size_t k = 0; k < v.size(); k += 4) {
            // Lanes: b takes four neighbours, so each pair meets in some lane.
            float bs[4];
            for (int i = 0; i < 4; ++i) bs[i] = v[(k + size_t(i)) % v.size()];
            const F4 fa = F4::splat(a), fb = F4::load(bs);
            auto expect = [&](F4 r, auto scalar, const char* what) {
                r.store(out);
                for (int i = 0; i < 4; ++i) {
                    const float want = scalar(a, bs[i]);
                    // NaN payloads may differ; every other result to the bit.
                    if (std::isnan(want))
                        EXPECT_TRUE(std::isnan(out[i])) << what << " " << a << ", " << bs[i];
                    else
                        EXPECT_EQ(bits(out[i]), bits(want)) << what << " " << a << ", " << bs[i];
                }
            };
            expect(fa + fb, kAdd, "+");
            expect(fa - fb, kSubtract, "-");
            expect(fa * fb, kMultiply, "*");
            expect(greaterOr(fa, fb), kGreaterOr, "greaterOr");
            expect(lessOr(fa, fb), kLessOr, "lessOr");
            expect(nanToZero(fb), kNaNToZero, "nanToZero");
            expect(truncated(fb), kTruncated, "truncated");
        }
    const int j[4] = {3, 0, 15, 3};
    F4::gather(v.data(), j).store(out);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(bits(out[i]), bits(v[size_t(j[i])]));
}

}  // namespace
