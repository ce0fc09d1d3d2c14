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
    static const std::vector<float> values = {0.0f,
                                              -0.0f,
                                              1.0f,
                                              -1.0f,
                                              1e4f,
                                              -1e4f,
                                              3.4e38f,
                                              -3.4e38f,
                                              1e-45f,
                                              -1e-45f,
                                              1.17e-38f,
                                              0.1f,
                                              std::numeric_limits<float>::infinity(),
                                              -std::numeric_limits<float>::infinity(),
                                              std::numeric_limits<float>::quiet_NaN(),
                                              -std::numeric_limits<float>::quiet_NaN()};
    return values;
}

unsigned bits(float x) {
    unsigned u;
    std::memcpy(&u, &x, sizeof u);
    return u;
}

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
            expect(
                fa + fb, [](float x, float y) { return x + y; }, "+");
            expect(
                fa - fb, [](float x, float y) { return x - y; }, "-");
            expect(
                fa * fb, [](float x, float y) { return x * y; }, "*");
            expect(
                greaterOr(fa, fb), [](float x, float y) { return x > y ? x : y; }, "greaterOr");
            expect(
                lessOr(fa, fb), [](float x, float y) { return x < y ? x : y; }, "lessOr");
            expect(
                nanToZero(fb), [](float, float y) { return y == y ? y : 0.0f; }, "nanToZero");
        }
    const int j[4] = {3, 0, 15, 3};
    F4::gather(v.data(), j).store(out);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(bits(out[i]), bits(v[size_t(j[i])]));
}

}  // namespace
