// Four floats side by side and the lane-by-lane operations the hierarchy searches are written on:
// SSE2 on x86, SIMD128 on WebAssembly built with -msimd128, and a plain four-float struct
// elsewhere or when VOR_NO_SIMD is defined (the test command builds it that way to keep it
// tested). Every operation is the IEEE single operation of each lane, so the three forms give
// the same bits: Min4 and Max4 keep the comparison form `a < b ? a : b` (the second operand when
// either is NaN or both are zero), comparisons give all-ones or all-zero lanes, and MaskBits4
// takes one bit a lane. This is the one place that chooses the form.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(VOR_NO_SIMD)
#define VOR_FLOAT4_SSE2 1
#include <emmintrin.h>
#elif defined(__wasm_simd128__) && !defined(VOR_NO_SIMD)
#define VOR_FLOAT4_SIMD128 1
#include <wasm_simd128.h>
#else
#include <cmath>
#endif

namespace vor {

#if defined(VOR_FLOAT4_SSE2)

struct Float4 {
    __m128 v;
};
// A lane is all ones (true) or all zeros (false).
struct Mask4 {
    __m128 v;
};

inline Float4 Splat4(float x) {
    return Float4{_mm_set1_ps(x)};
}
inline Float4 Load4(const float *p) {
    return Float4{_mm_loadu_ps(p)};
}
inline void Store4(float *p, Float4 a) {
    _mm_storeu_ps(p, a.v);
}
inline Float4 Add4(Float4 a, Float4 b) {
    return Float4{_mm_add_ps(a.v, b.v)};
}
inline Float4 Sub4(Float4 a, Float4 b) {
    return Float4{_mm_sub_ps(a.v, b.v)};
}
inline Float4 Mul4(Float4 a, Float4 b) {
    return Float4{_mm_mul_ps(a.v, b.v)};
}
inline Float4 Div4(Float4 a, Float4 b) {
    return Float4{_mm_div_ps(a.v, b.v)};
}
inline Float4 Sqrt4(Float4 a) {
    return Float4{_mm_sqrt_ps(a.v)};
}
inline Float4 Min4(Float4 a, Float4 b) {
    return Float4{_mm_min_ps(a.v, b.v)};
}
inline Float4 Max4(Float4 a, Float4 b) {
    return Float4{_mm_max_ps(a.v, b.v)};
}
inline Float4 Abs4(Float4 a) {
    return Float4{_mm_and_ps(a.v, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)))};
}
inline Mask4 Less4(Float4 a, Float4 b) {
    return Mask4{_mm_cmplt_ps(a.v, b.v)};
}
inline Mask4 Greater4(Float4 a, Float4 b) {
    return Mask4{_mm_cmpgt_ps(a.v, b.v)};
}
inline Mask4 LessEqual4(Float4 a, Float4 b) {
    return Mask4{_mm_cmple_ps(a.v, b.v)};
}
inline Mask4 GreaterEqual4(Float4 a, Float4 b) {
    return Mask4{_mm_cmpge_ps(a.v, b.v)};
}
inline Mask4 NotLess4(Float4 a, Float4 b) {
    return Mask4{_mm_cmpnlt_ps(a.v, b.v)};
}
inline Mask4 MaskNone4() {
    return Mask4{_mm_setzero_ps()};
}
inline Mask4 MaskAnd4(Mask4 a, Mask4 b) {
    return Mask4{_mm_and_ps(a.v, b.v)};
}
inline Mask4 MaskOr4(Mask4 a, Mask4 b) {
    return Mask4{_mm_or_ps(a.v, b.v)};
}
inline Mask4 MaskAndNot4(Mask4 a, Mask4 b) {
    return Mask4{_mm_andnot_ps(b.v, a.v)};
}
inline Float4 Select4(Mask4 m, Float4 a, Float4 b) {
    return Float4{_mm_or_ps(_mm_and_ps(m.v, a.v), _mm_andnot_ps(m.v, b.v))};
}
inline uint32_t MaskBits4(Mask4 m) {
    return static_cast<uint32_t>(_mm_movemask_ps(m.v));
}
inline uint32_t SignBits4(Float4 a) {
    return static_cast<uint32_t>(_mm_movemask_ps(a.v));
}
inline uint32_t EqualBits4(const uint32_t *p, uint32_t x) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    return static_cast<uint32_t>(
        _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(v, _mm_set1_epi32(static_cast<int>(x))))));
}
inline void Transpose4(Float4 &r0, Float4 &r1, Float4 &r2, Float4 &r3) {
    _MM_TRANSPOSE4_PS(r0.v, r1.v, r2.v, r3.v);
}

#elif defined(VOR_FLOAT4_SIMD128)

struct Float4 {
    v128_t v;
};
struct Mask4 {
    v128_t v;
};

inline Float4 Splat4(float x) {
    return Float4{wasm_f32x4_splat(x)};
}
inline Float4 Load4(const float *p) {
    return Float4{wasm_v128_load(p)};
}
inline void Store4(float *p, Float4 a) {
    wasm_v128_store(p, a.v);
}
inline Float4 Add4(Float4 a, Float4 b) {
    return Float4{wasm_f32x4_add(a.v, b.v)};
}
inline Float4 Sub4(Float4 a, Float4 b) {
    return Float4{wasm_f32x4_sub(a.v, b.v)};
}
inline Float4 Mul4(Float4 a, Float4 b) {
    return Float4{wasm_f32x4_mul(a.v, b.v)};
}
inline Float4 Div4(Float4 a, Float4 b) {
    return Float4{wasm_f32x4_div(a.v, b.v)};
}
inline Float4 Sqrt4(Float4 a) {
    return Float4{wasm_f32x4_sqrt(a.v)};
}
// pmin(x, y) is y < x ? y : x, so pmin(b, a) is a < b ? a : b; f32x4.min would give NaN instead.
inline Float4 Min4(Float4 a, Float4 b) {
    return Float4{wasm_f32x4_pmin(b.v, a.v)};
}
// pmax(x, y) is x < y ? y : x, so pmax(b, a) is b < a ? a : b, that is a > b ? a : b.
inline Float4 Max4(Float4 a, Float4 b) {
    return Float4{wasm_f32x4_pmax(b.v, a.v)};
}
inline Float4 Abs4(Float4 a) {
    return Float4{wasm_f32x4_abs(a.v)};
}
inline Mask4 Less4(Float4 a, Float4 b) {
    return Mask4{wasm_f32x4_lt(a.v, b.v)};
}
inline Mask4 Greater4(Float4 a, Float4 b) {
    return Mask4{wasm_f32x4_gt(a.v, b.v)};
}
inline Mask4 LessEqual4(Float4 a, Float4 b) {
    return Mask4{wasm_f32x4_le(a.v, b.v)};
}
inline Mask4 GreaterEqual4(Float4 a, Float4 b) {
    return Mask4{wasm_f32x4_ge(a.v, b.v)};
}
inline Mask4 NotLess4(Float4 a, Float4 b) {
    return Mask4{wasm_v128_not(wasm_f32x4_lt(a.v, b.v))};
}
inline Mask4 MaskNone4() {
    return Mask4{wasm_i32x4_splat(0)};
}
inline Mask4 MaskAnd4(Mask4 a, Mask4 b) {
    return Mask4{wasm_v128_and(a.v, b.v)};
}
inline Mask4 MaskOr4(Mask4 a, Mask4 b) {
    return Mask4{wasm_v128_or(a.v, b.v)};
}
inline Mask4 MaskAndNot4(Mask4 a, Mask4 b) {
    return Mask4{wasm_v128_andnot(a.v, b.v)};
}
inline Float4 Select4(Mask4 m, Float4 a, Float4 b) {
    return Float4{wasm_v128_bitselect(a.v, b.v, m.v)};
}
inline uint32_t MaskBits4(Mask4 m) {
    return wasm_i32x4_bitmask(m.v);
}
inline uint32_t SignBits4(Float4 a) {
    return wasm_i32x4_bitmask(a.v);
}
inline uint32_t EqualBits4(const uint32_t *p, uint32_t x) {
    return wasm_i32x4_bitmask(
        wasm_i32x4_eq(wasm_v128_load(p), wasm_i32x4_splat(static_cast<int32_t>(x))));
}
inline void Transpose4(Float4 &r0, Float4 &r1, Float4 &r2, Float4 &r3) {
    const v128_t t0 = wasm_i32x4_shuffle(r0.v, r1.v, 0, 4, 1, 5);
    const v128_t t1 = wasm_i32x4_shuffle(r2.v, r3.v, 0, 4, 1, 5);
    const v128_t t2 = wasm_i32x4_shuffle(r0.v, r1.v, 2, 6, 3, 7);
    const v128_t t3 = wasm_i32x4_shuffle(r2.v, r3.v, 2, 6, 3, 7);
    r0.v = wasm_i32x4_shuffle(t0, t1, 0, 1, 4, 5);
    r1.v = wasm_i32x4_shuffle(t0, t1, 2, 3, 6, 7);
    r2.v = wasm_i32x4_shuffle(t2, t3, 0, 1, 4, 5);
    r3.v = wasm_i32x4_shuffle(t2, t3, 2, 3, 6, 7);
}

#else

struct Float4 {
    float lane[4];
};
struct Mask4 {
    uint32_t lane[4];
};

inline Float4 Splat4(float x) {
    return Float4{{x, x, x, x}};
}
// memcpy: callers load the fourth float past a Vec3, which is some other field's bytes.
inline Float4 Load4(const float *p) {
    Float4 r;
    std::memcpy(r.lane, p, sizeof r.lane);
    return r;
}
inline void Store4(float *p, Float4 a) {
    std::memcpy(p, a.lane, sizeof a.lane);
}

#define VOR_FLOAT4_LANES(expression)                                                               \
    Float4 r;                                                                                      \
    for (int k = 0; k < 4; ++k) {                                                                  \
        r.lane[k] = (expression);                                                                  \
    }                                                                                              \
    return r
#define VOR_MASK4_LANES(condition)                                                                 \
    Mask4 r;                                                                                       \
    for (int k = 0; k < 4; ++k) {                                                                  \
        r.lane[k] = (condition) ? ~0u : 0u;                                                        \
    }                                                                                              \
    return r

inline Float4 Add4(Float4 a, Float4 b) {
    VOR_FLOAT4_LANES(a.lane[k] + b.lane[k]);
}
inline Float4 Sub4(Float4 a, Float4 b) {
    VOR_FLOAT4_LANES(a.lane[k] - b.lane[k]);
}
inline Float4 Mul4(Float4 a, Float4 b) {
    VOR_FLOAT4_LANES(a.lane[k] * b.lane[k]);
}
inline Float4 Div4(Float4 a, Float4 b) {
    VOR_FLOAT4_LANES(a.lane[k] / b.lane[k]);
}
inline Float4 Sqrt4(Float4 a) {
    VOR_FLOAT4_LANES(std::sqrt(a.lane[k]));
}
inline Float4 Min4(Float4 a, Float4 b) {
    VOR_FLOAT4_LANES(a.lane[k] < b.lane[k] ? a.lane[k] : b.lane[k]);
}
inline Float4 Max4(Float4 a, Float4 b) {
    VOR_FLOAT4_LANES(a.lane[k] > b.lane[k] ? a.lane[k] : b.lane[k]);
}
inline Mask4 Less4(Float4 a, Float4 b) {
    VOR_MASK4_LANES(a.lane[k] < b.lane[k]);
}
inline Mask4 Greater4(Float4 a, Float4 b) {
    VOR_MASK4_LANES(a.lane[k] > b.lane[k]);
}
inline Mask4 LessEqual4(Float4 a, Float4 b) {
    VOR_MASK4_LANES(a.lane[k] <= b.lane[k]);
}
inline Mask4 GreaterEqual4(Float4 a, Float4 b) {
    VOR_MASK4_LANES(a.lane[k] >= b.lane[k]);
}
inline Mask4 NotLess4(Float4 a, Float4 b) {
    VOR_MASK4_LANES(!(a.lane[k] < b.lane[k]));
}
inline Mask4 MaskNone4() {
    return Mask4{{0u, 0u, 0u, 0u}};
}
inline Mask4 MaskAnd4(Mask4 a, Mask4 b) {
    VOR_MASK4_LANES((a.lane[k] & b.lane[k]) != 0u);
}
inline Mask4 MaskOr4(Mask4 a, Mask4 b) {
    VOR_MASK4_LANES((a.lane[k] | b.lane[k]) != 0u);
}
inline Mask4 MaskAndNot4(Mask4 a, Mask4 b) {
    VOR_MASK4_LANES((a.lane[k] & ~b.lane[k]) != 0u);
}

#undef VOR_FLOAT4_LANES
#undef VOR_MASK4_LANES

// The sign bit cleared, NaN included, as the vector forms do with a bit mask.
inline Float4 Abs4(Float4 a) {
    Float4 r;
    for (int k = 0; k < 4; ++k) {
        uint32_t bits;
        std::memcpy(&bits, &a.lane[k], sizeof bits);
        bits &= 0x7fffffffu;
        std::memcpy(&r.lane[k], &bits, sizeof bits);
    }
    return r;
}
// Bit for bit: a NaN lane keeps its payload, as with the vector forms' bitwise select.
inline Float4 Select4(Mask4 m, Float4 a, Float4 b) {
    Float4 r;
    for (int k = 0; k < 4; ++k) {
        uint32_t x, y;
        std::memcpy(&x, &a.lane[k], sizeof x);
        std::memcpy(&y, &b.lane[k], sizeof y);
        const uint32_t bits = (x & m.lane[k]) | (y & ~m.lane[k]);
        std::memcpy(&r.lane[k], &bits, sizeof bits);
    }
    return r;
}
inline uint32_t MaskBits4(Mask4 m) {
    return (m.lane[0] >> 31) | (m.lane[1] >> 31) << 1 | (m.lane[2] >> 31) << 2 |
           (m.lane[3] >> 31) << 3;
}
inline uint32_t SignBits4(Float4 a) {
    uint32_t bits = 0;
    for (int k = 0; k < 4; ++k) {
        bits |= (std::signbit(a.lane[k]) ? 1u : 0u) << k;
    }
    return bits;
}
inline uint32_t EqualBits4(const uint32_t *p, uint32_t x) {
    return uint32_t{p[0] == x} | uint32_t{p[1] == x} << 1 | uint32_t{p[2] == x} << 2 |
           uint32_t{p[3] == x} << 3;
}
inline void Transpose4(Float4 &r0, Float4 &r1, Float4 &r2, Float4 &r3) {
    Float4 *rows[4] = {&r0, &r1, &r2, &r3};
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            const float x = rows[i]->lane[j];
            rows[i]->lane[j] = rows[j]->lane[i];
            rows[j]->lane[i] = x;
        }
    }
}

#endif

inline Float4 Zero4() {
    return Splat4(0.0f);
}

} // namespace vor
