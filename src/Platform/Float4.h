// Float4: four floats side by side, in one SSE register on x86-64 (every such processor
// has SSE2) and as four plain floats elsewhere (the web build). Each operation rounds
// lane by lane exactly as the scalar operation does, so a loop written with it gives the
// same bits as the scalar loop, on every target.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#if defined(__SSE2__)

struct Float4 {
    __m128 v;
};
inline Float4 Load4(const float* p) { return {_mm_loadu_ps(p)}; }
inline void Store4(float* p, Float4 a) { _mm_storeu_ps(p, a.v); }
inline Float4 Splat4(float x) { return {_mm_set1_ps(x)}; }
inline Float4 operator+(Float4 a, Float4 b) { return {_mm_add_ps(a.v, b.v)}; }
inline Float4 operator*(Float4 a, Float4 b) { return {_mm_mul_ps(a.v, b.v)}; }
// a > b ? a : b and a < b ? a : b, lane by lane (b where either is NaN).
inline Float4 GreaterOr(Float4 a, Float4 b) { return {_mm_max_ps(a.v, b.v)}; }
inline Float4 LessOr(Float4 a, Float4 b) { return {_mm_min_ps(a.v, b.v)}; }
// a == a ? a : 0: NaN lanes become +0.
inline Float4 NaNToZero(Float4 a) { return {_mm_and_ps(a.v, _mm_cmpord_ps(a.v, a.v))}; }

#else

struct Float4 {
    float v[4];
};
inline Float4 Load4(const float* p) { return {{p[0], p[1], p[2], p[3]}}; }
inline void Store4(float* p, Float4 a) {
    for (int i = 0; i < 4; ++i) p[i] = a.v[i];
}
inline Float4 Splat4(float x) { return {{x, x, x, x}}; }
inline Float4 operator+(Float4 a, Float4 b) {
    return {{a.v[0] + b.v[0], a.v[1] + b.v[1], a.v[2] + b.v[2], a.v[3] + b.v[3]}};
}
inline Float4 operator*(Float4 a, Float4 b) {
    return {{a.v[0] * b.v[0], a.v[1] * b.v[1], a.v[2] * b.v[2], a.v[3] * b.v[3]}};
}
inline Float4 GreaterOr(Float4 a, Float4 b) {
    Float4 r;
    for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] > b.v[i] ? a.v[i] : b.v[i];
    return r;
}
inline Float4 LessOr(Float4 a, Float4 b) {
    Float4 r;
    for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] < b.v[i] ? a.v[i] : b.v[i];
    return r;
}
inline Float4 NaNToZero(Float4 a) {
    Float4 r;
    for (int i = 0; i < 4; ++i) r.v[i] = a.v[i] == a.v[i] ? a.v[i] : 0.0f;
    return r;
}

#endif
