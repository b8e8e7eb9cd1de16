// The ray test of RayTriangleTestPastBox on up to four triangles of a leaf side by side: with SSE2,
// four lanes run the very same float operations in the same order (IEEE rounding is per lane, the
// square root and the division included), so every value is the scalar test's to the bit; without
// it, the scalar test one triangle at a time.
#pragma once

#include <cstdint>

#include "core/records.h"
#include "math/sse2.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/ray_triangle.h"

namespace vor {

#if defined(VOR_SSE2)
// x, y and z of four vectors, one in each lane.
struct FourVec3 {
    __m128 x, y, z;
};

inline FourVec3 FourFrom(const Vec3 &v) {
    return FourVec3{_mm_set1_ps(v.x), _mm_set1_ps(v.y), _mm_set1_ps(v.z)};
}
inline FourVec3 FourSub(const FourVec3 &a, const FourVec3 &b) {
    return FourVec3{_mm_sub_ps(a.x, b.x), _mm_sub_ps(a.y, b.y), _mm_sub_ps(a.z, b.z)};
}
inline FourVec3 FourScale(__m128 f, const FourVec3 &v) {
    return FourVec3{_mm_mul_ps(f, v.x), _mm_mul_ps(f, v.y), _mm_mul_ps(f, v.z)};
}
inline FourVec3 FourAdd(const FourVec3 &a, const FourVec3 &b) {
    return FourVec3{_mm_add_ps(a.x, b.x), _mm_add_ps(a.y, b.y), _mm_add_ps(a.z, b.z)};
}
// DotProduct: (a.x * b.x + a.y * b.y) + a.z * b.z.
inline __m128 FourDot(const FourVec3 &a, const FourVec3 &b) {
    return _mm_add_ps(_mm_add_ps(_mm_mul_ps(a.x, b.x), _mm_mul_ps(a.y, b.y)),
                      _mm_mul_ps(a.z, b.z));
}
inline FourVec3 FourCross(const FourVec3 &u, const FourVec3 &v) {
    return FourVec3{_mm_sub_ps(_mm_mul_ps(u.y, v.z), _mm_mul_ps(u.z, v.y)),
                    _mm_sub_ps(_mm_mul_ps(u.z, v.x), _mm_mul_ps(u.x, v.z)),
                    _mm_sub_ps(_mm_mul_ps(u.x, v.y), _mm_mul_ps(u.y, v.x))};
}
// Where mask is set a, elsewhere b.
inline __m128 FourSelect(__m128 mask, __m128 a, __m128 b) {
    return _mm_or_ps(_mm_and_ps(mask, a), _mm_andnot_ps(mask, b));
}
// NormalizeVector lane by lane: a vector within the tolerance of unit length kept, a tiny one
// made zero, any other multiplied by 1 / sqrt of its squared length (summed y, z, x).
inline FourVec3 FourNormalize(const FourVec3 &v) {
    const __m128 s = _mm_add_ps(_mm_add_ps(_mm_mul_ps(v.y, v.y), _mm_mul_ps(v.z, v.z)),
                                _mm_mul_ps(v.x, v.x));
    const __m128 offUnit = _mm_sub_ps(s, _mm_set1_ps(1.0f));
    const __m128 unit = _mm_and_ps(_mm_cmpge_ps(offUnit, _mm_set1_ps(-kUnitTolerance)),
                                   _mm_cmple_ps(offUnit, _mm_set1_ps(kUnitTolerance)));
    const __m128 tiny = _mm_cmple_ps(s, _mm_set1_ps(kTinySquaredLength));
    const __m128 f = _mm_div_ps(_mm_set1_ps(1.0f), _mm_sqrt_ps(s));
    const FourVec3 scaled = {_mm_mul_ps(v.x, f), _mm_mul_ps(v.y, f), _mm_mul_ps(v.z, f)};
    const __m128 zero = _mm_setzero_ps();
    return FourVec3{FourSelect(unit, v.x, FourSelect(tiny, zero, scaled.x)),
                    FourSelect(unit, v.y, FourSelect(tiny, zero, scaled.y)),
                    FourSelect(unit, v.z, FourSelect(tiny, zero, scaled.z))};
}
// Corner c of the first count (1 to 4) items, lanes past count repeating the first item.
inline FourVec3 FourCorners(const AccelItem *items, uint32_t count, int c) {
    __m128 row[4];
    for (uint32_t k = 0; k < 4; ++k) {
        row[k] = _mm_loadu_ps(&items[k < count ? k : 0].corner[c].x); // the fourth lane goes unused
    }
    _MM_TRANSPOSE4_PS(row[0], row[1], row[2], row[3]);
    return FourVec3{row[0], row[1], row[2]};
}
// The point-in-triangle test's edge from a to b: false lanes where p lies outside it.
inline __m128 FourInsideEdge(const FourVec3 &p, const FourVec3 &n, const FourVec3 &a,
                             const FourVec3 &b) {
    return _mm_cmpnlt_ps(FourDot(FourCross(FourSub(b, a), FourSub(p, a)), n), _mm_setzero_ps());
}
#endif

// RayTriangleTestPastBox(from, dir, corners of item k, &hits[k]) for each item k of the first
// count (1 to 4) whose bit is set in `lanes`; bit k of the answer is set where it answers true.
inline uint32_t RayTrianglesFour(const Vec3 &from, const Vec3 &dir, const AccelItem *items,
                                 uint32_t count, uint32_t lanes, RayTriangleHit hits[4]) {
#if defined(VOR_SSE2)
    const FourVec3 t1 = FourCorners(items, count, 0);
    const FourVec3 t2 = FourCorners(items, count, 1);
    const FourVec3 t3 = FourCorners(items, count, 2);
    const FourVec3 start = FourFrom(from), direction = FourFrom(dir);
    const __m128 zero = _mm_setzero_ps();
    // The start in front of the plane, the ray approaching it, the hit point inside.
    const FourVec3 n = FourNormalize(FourCross(FourSub(t2, t1), FourSub(t3, t1)));
    const __m128 d = FourDot(FourSub(start, t1), n);
    const __m128 approach = FourDot(n, direction);
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 t = _mm_and_ps(_mm_div_ps(d, approach), magnitude);
    const FourVec3 p = FourAdd(start, FourScale(t, direction));
    const __m128 passed = _mm_and_ps(
        _mm_and_ps(_mm_cmpgt_ps(d, zero), _mm_cmplt_ps(approach, zero)),
        _mm_and_ps(_mm_and_ps(FourInsideEdge(p, n, t1, t2), FourInsideEdge(p, n, t2, t3)),
                   FourInsideEdge(p, n, t3, t1)));
    const uint32_t answer = static_cast<uint32_t>(_mm_movemask_ps(passed)) & lanes;
    if (answer == 0) {
        return 0;
    }
    // The hits, lane by lane: key is the larger of d and t.
    const __m128 key = FourSelect(_mm_cmpgt_ps(d, t), d, t);
    const __m128 columns[8] = {t, key, p.x, p.y, p.z, n.x, n.y, n.z};
    alignas(16) float values[8][4];
    for (int v = 0; v < 8; ++v) {
        _mm_store_ps(values[v], columns[v]);
    }
    for (uint32_t left = answer; left != 0; left &= left - 1) {
        const uint32_t k = LowestBit(left);
        hits[k] = RayTriangleHit{values[0][k],
                                 values[1][k],
                                 {values[2][k], values[3][k], values[4][k]},
                                 {values[5][k], values[6][k], values[7][k]}};
    }
    return answer;
#else
    (void)count;
    uint32_t answer = 0;
    for (uint32_t left = lanes; left != 0; left &= left - 1) {
        const uint32_t k = LowestBit(left);
        const Vec3 *c = items[k].corner;
        if (RayTriangleTestPastBox(from, dir, c[0], c[1], c[2], &hits[k])) {
            answer |= 1u << k;
        }
    }
    return answer;
#endif
}

} // namespace vor
