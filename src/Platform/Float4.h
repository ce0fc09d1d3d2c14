// Float4: four floats side by side, in one SSE register on x86-64 (every such processor
// has SSE2) and as four plain floats elsewhere (the web build). Each operation rounds
// lane by lane exactly as the scalar operation does, so a loop written with it gives the
// same bits as the scalar loop, on every target.
#pragma once
#include <cmath>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Plain floats: the version for targets without SSE, and the reference the SSE version is
// tested against.
struct PlainFloat4 {
    float v[4];

    static PlainFloat4 load(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
    static PlainFloat4 splat(float x) { return {{x, x, x, x}}; }
    // p[j[0]], p[j[1]], p[j[2]], p[j[3]].
    static PlainFloat4 gather(const float* p, const int* j) { return {{p[j[0]], p[j[1]], p[j[2]], p[j[3]]}}; }
    void store(float* p) const {
        for (int i = 0; i < 4; ++i) p[i] = v[i];
    }

    template <class F>
    static PlainFloat4 each(PlainFloat4 a, PlainFloat4 b, F f) {
        return {{f(a.v[0], b.v[0]), f(a.v[1], b.v[1]), f(a.v[2], b.v[2]), f(a.v[3], b.v[3])}};
    }
    friend PlainFloat4 operator+(PlainFloat4 a, PlainFloat4 b) {
        return each(a, b, [](float x, float y) { return x + y; });
    }
    friend PlainFloat4 operator-(PlainFloat4 a, PlainFloat4 b) {
        return each(a, b, [](float x, float y) { return x - y; });
    }
    friend PlainFloat4 operator*(PlainFloat4 a, PlainFloat4 b) {
        return each(a, b, [](float x, float y) { return x * y; });
    }
    // a > b ? a : b and a < b ? a : b, lane by lane (b where either is NaN).
    friend PlainFloat4 greaterOr(PlainFloat4 a, PlainFloat4 b) {
        return each(a, b, [](float x, float y) { return x > y ? x : y; });
    }
    friend PlainFloat4 lessOr(PlainFloat4 a, PlainFloat4 b) {
        return each(a, b, [](float x, float y) { return x < y ? x : y; });
    }
    // a == a ? a : 0: NaN lanes become +0.
    friend PlainFloat4 nanToZero(PlainFloat4 a) {
        return each(a, a, [](float x, float) { return x == x ? x : 0.0f; });
    }
    // std::trunc, lane by lane.
    friend PlainFloat4 truncated(PlainFloat4 a) {
        return each(a, a, [](float x, float) { return std::trunc(x); });
    }
};

#if defined(__SSE2__)

struct SseFloat4 {
    __m128 v;

    static SseFloat4 load(const float* p) { return {_mm_loadu_ps(p)}; }
    static SseFloat4 splat(float x) { return {_mm_set1_ps(x)}; }
    static SseFloat4 gather(const float* p, const int* j) { return {_mm_setr_ps(p[j[0]], p[j[1]], p[j[2]], p[j[3]])}; }
    void store(float* p) const { _mm_storeu_ps(p, v); }

    friend SseFloat4 operator+(SseFloat4 a, SseFloat4 b) { return {_mm_add_ps(a.v, b.v)}; }
    friend SseFloat4 operator-(SseFloat4 a, SseFloat4 b) { return {_mm_sub_ps(a.v, b.v)}; }
    friend SseFloat4 operator*(SseFloat4 a, SseFloat4 b) { return {_mm_mul_ps(a.v, b.v)}; }
    friend SseFloat4 greaterOr(SseFloat4 a, SseFloat4 b) { return {_mm_max_ps(a.v, b.v)}; }
    friend SseFloat4 lessOr(SseFloat4 a, SseFloat4 b) { return {_mm_min_ps(a.v, b.v)}; }
    friend SseFloat4 nanToZero(SseFloat4 a) { return {_mm_and_ps(a.v, _mm_cmpord_ps(a.v, a.v))}; }
    // Below 2^23 a float may have a fraction and fits an int: the truncated int, with the
    // sign put back (trunc(-0.5) is -0). From 2^23 on, and for infinity and NaN, the value
    // itself.
    friend SseFloat4 truncated(SseFloat4 a) {
        const __m128 sign = _mm_set1_ps(-0.0f);
        const __m128 small = _mm_cmplt_ps(_mm_andnot_ps(sign, a.v), _mm_set1_ps(8388608.0f));
        const __m128 whole = _mm_or_ps(_mm_cvtepi32_ps(_mm_cvttps_epi32(a.v)), _mm_and_ps(a.v, sign));
        return {_mm_or_ps(_mm_and_ps(small, whole), _mm_andnot_ps(small, a.v))};
    }
};
using Float4 = SseFloat4;

#else

using Float4 = PlainFloat4;

#endif
