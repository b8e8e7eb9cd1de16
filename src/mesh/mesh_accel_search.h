// The segment-against-box test the hierarchy skips by distance with, made to err only towards
// "reaches": its float slab parameters carry a relative slack far above their rounding.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>


#include "math/sse2.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/triangle_tests.h"

namespace vor {

// Coordinates and parameters at or above this are left to the plain tests.
constexpr float kProbeLimit = 1e12f;
// A direction component below 1e-25 in size gets the reciprocal 1e25 (with its sign) instead of
// its own: smaller than the true one, so every slab parameter it gives is nearer to 0 than the
// true one, which only ever keeps a box. Products stay finite for coordinates below 1e13.
constexpr float kProbeTiny = 1e-25f;
constexpr float kProbeHuge = 1e25f;

// The points origin + t * dir for 0 <= t <= a reach the caller gives.
struct SegmentProbe {
    float origin[3];
    float dir[3];
    float inv[3];      // 1 / dir, or +-1e25 for a tiny component
    float absInv[3];   // |inv|
#if defined(VOR_SSE2)
    __m128 wideOrigin[3], wideInv[3], wideAbsInv[3]; // each value in all four lanes
#endif
};

// False when origin or dir is not finite or too large to probe.
inline bool SetUpProbe(SegmentProbe *p, const Vec3 &origin, const Vec3 &dir) {
    const float o[3] = {origin.x, origin.y, origin.z};
    const float d[3] = {dir.x, dir.y, dir.z};
    for (int a = 0; a < 3; ++a) {
        if (!(std::fabs(o[a]) < kProbeLimit && std::fabs(d[a]) < kProbeLimit)) {
            return false;
        }
        p->origin[a] = o[a];
        p->dir[a] = d[a];
        p->inv[a] = std::fabs(d[a]) < kProbeTiny ? std::copysign(kProbeHuge, d[a]) : 1.0f / d[a];
        p->absInv[a] = std::fabs(p->inv[a]);
#if defined(VOR_SSE2)
        p->wideOrigin[a] = _mm_set1_ps(p->origin[a]);
        p->wideInv[a] = _mm_set1_ps(p->inv[a]);
        p->wideAbsInv[a] = _mm_set1_ps(p->absInv[a]);
#endif
    }
    return true;
}

// The end of the slab test, given the largest entry tn and the smallest exit tf over the axes.
inline bool SlabVerdict(float tn, float tf, float reach, float *entry) {
    *entry = tn;
    const float slack = 1e-6f * (std::fabs(tn) + std::fabs(tf) + reach);
    return !(tn > tf + slack) && !(tn > reach + slack) && !(tf < -slack);
}

// False only when no point of the probe with 0 <= t <= reach lies within `grow` of the box on
// every axis. *entry gets the computed parameter where the probe enters the widened box, for
// ordering only. Each slab parameter is (face - origin) * inv -+ grow * |inv|: the first product
// is within 3u of its exact value, the second within 2u, and where they cancel the error is 6u of
// grow, which the callers' margins hold many times over; the slack of 1e-6 times the parameters'
// size is some fourteen times the rest. An infinite or NaN parameter (huge boxes) only ever keeps
// the box: NaN drops out of the maximum and minimum, infinity makes the slack infinite. The near
// face's product is the smaller of the two faces' (for lo <= hi, rounding keeps lo - origin <=
// hi - origin, and inv, never 0 nor NaN, keeps or reverses the order), so it is taken without a
// branch on the sign. (An inverted box, an empty slot's, is not rejected: callers mask those.)
inline bool SegmentReachesBox(const SegmentProbe &p, const AccelBox &b, float grow, float reach,
                              float *entry) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    *entry = -kInf;
    if (!(grow < kInf)) {
        return true;
    }
    float tn = -kInf;
    float tf = kInf;
    for (int a = 0; a < 3; ++a) {
        const float atLo = (b.lo[a] - p.origin[a]) * p.inv[a];
        const float atHi = (b.hi[a] - p.origin[a]) * p.inv[a];
        const float widen = grow * p.absInv[a];
        const float t0 = (atLo < atHi ? atLo : atHi) - widen;
        const float t1 = (atLo > atHi ? atLo : atHi) + widen;
        tn = t0 > tn ? t0 : tn;
        tf = t1 < tf ? t1 : tf;
    }
    return SlabVerdict(tn, tf, reach, entry);
}

#if defined(VOR_SSE2)
// SegmentReachesBox on four boxes at once, given axis by axis (lo[a], hi[a]) with their grow: lane
// by lane the very same float operations, the maximum and minimum taken in the same order. Bit k
// of the answer is set where it answers true for box k, entry[k] gets its entry.
inline uint32_t SegmentReachesFour(const SegmentProbe &p, const __m128 lo[3], const __m128 hi[3],
                                   __m128 grow, float reach, float entry[4]) {
    const __m128 inf = _mm_set1_ps(std::numeric_limits<float>::infinity());
    const __m128 minusInf = _mm_set1_ps(-std::numeric_limits<float>::infinity());
    __m128 tn = minusInf;
    __m128 tf = inf;
    for (int a = 0; a < 3; ++a) {
        const __m128 atLo = _mm_mul_ps(_mm_sub_ps(lo[a], p.wideOrigin[a]), p.wideInv[a]);
        const __m128 atHi = _mm_mul_ps(_mm_sub_ps(hi[a], p.wideOrigin[a]), p.wideInv[a]);
        const __m128 widen = _mm_mul_ps(grow, p.wideAbsInv[a]);
        const __m128 t0 = _mm_sub_ps(_mm_min_ps(atLo, atHi), widen); // atLo < atHi ? atLo : atHi
        const __m128 t1 = _mm_add_ps(_mm_max_ps(atLo, atHi), widen); // atLo > atHi ? atLo : atHi
        tn = _mm_max_ps(t0, tn); // t0 > tn ? t0 : tn
        tf = _mm_min_ps(t1, tf); // t1 < tf ? t1 : tf
    }
    const __m128 magnitude = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 reachAll = _mm_set1_ps(reach);
    const __m128 slack = _mm_mul_ps(
        _mm_set1_ps(1e-6f),
        _mm_add_ps(_mm_add_ps(_mm_and_ps(tn, magnitude), _mm_and_ps(tf, magnitude)), reachAll));
    const __m128 missed =
        _mm_or_ps(_mm_or_ps(_mm_cmpgt_ps(tn, _mm_add_ps(tf, slack)),
                            _mm_cmpgt_ps(tn, _mm_add_ps(reachAll, slack))),
                  _mm_cmplt_ps(tf, _mm_sub_ps(_mm_setzero_ps(), slack)));
    const __m128 unbounded = _mm_cmpnlt_ps(grow, inf); // !(grow < inf): always reached
    _mm_storeu_ps(entry, _mm_or_ps(_mm_and_ps(unbounded, minusInf), _mm_andnot_ps(unbounded, tn)));
    const __m128 all = _mm_castsi128_ps(_mm_set1_epi32(-1));
    return static_cast<uint32_t>(
        _mm_movemask_ps(_mm_or_ps(unbounded, _mm_andnot_ps(missed, all))));
}
#endif

#if defined(VOR_SSE2)
// FiniteBox of the first count (1 to 4) items, whose corners are finite, axis by axis: lo[a] and
// hi[a] hold axis a of the four boxes (lanes past count repeat the first item). The four boxes
// are made from the corners side by side, then turned.
inline void ItemBoxesFour(const AccelItem *items, uint32_t count, __m128 lo[4], __m128 hi[4]) {
    for (uint32_t k = 0; k < 4; ++k) {
        const AccelItem &item = items[k < count ? k : 0];
        const __m128 a = _mm_loadu_ps(&item.corner[0].x);
        const __m128 b = _mm_loadu_ps(&item.corner[1].x);
        const __m128 c = _mm_loadu_ps(&item.corner[2].x); // the fourth lanes go unused
        lo[k] = _mm_min_ps(_mm_min_ps(a, b), c);
        hi[k] = _mm_max_ps(_mm_max_ps(a, b), c);
    }
    _MM_TRANSPOSE4_PS(lo[0], lo[1], lo[2], lo[3]);
    _MM_TRANSPOSE4_PS(hi[0], hi[1], hi[2], hi[3]);
}
// The boxes of children g..g+3 of a node, axis by axis; answers bit k set where child g+k is
// occupied.
inline uint32_t LoadChildGroup(const AccelNode &node, uint32_t g, __m128 lo[3], __m128 hi[3]) {
    for (int a = 0; a < 3; ++a) {
        lo[a] = _mm_loadu_ps(node.lo[a] + g);
        hi[a] = _mm_loadu_ps(node.hi[a] + g);
    }
    const __m128i refs = _mm_loadu_si128(reinterpret_cast<const __m128i *>(node.ref + g));
    const uint32_t empty = static_cast<uint32_t>(_mm_movemask_ps(
        _mm_castsi128_ps(_mm_cmpeq_epi32(refs, _mm_set1_epi32(kEmptyChild)))));
    return ~empty & 15u;
}
#endif

// SegmentReachesBox(p, child k's box, its margin + slop, reach, &entry[k]) for the children of a
// node, four at a time: bit k of the answer is set where it answers true (never for an empty slot).
inline uint32_t SegmentReachesChildren(const SegmentProbe &p, const AccelNode &node, float slop,
                                       float reach, float entry[kAccelWidth]) {
#if defined(VOR_SSE2)
    uint32_t reached = 0;
    for (uint32_t g = 0; g < kAccelWidth; g += 4) {
        __m128 lo[3], hi[3];
        const uint32_t occupied = LoadChildGroup(node, g, lo, hi);
        const __m128 grow = _mm_add_ps(_mm_loadu_ps(node.margin + g), _mm_set1_ps(slop));
        reached |= (SegmentReachesFour(p, lo, hi, grow, reach, entry + g) & occupied) << g;
    }
    return reached;
#else
    uint32_t reached = 0;
    for (uint32_t k = 0; k < kAccelWidth; ++k) {
        entry[k] = -std::numeric_limits<float>::infinity();
        if (node.ref[k] != kEmptyChild &&
            SegmentReachesBox(p, ChildOf(node, k).box, node.margin[k] + slop, reach, &entry[k])) {
            reached |= 1u << k;
        }
    }
    return reached;
#endif
}

#if defined(VOR_SSE2)
// The comparisons of TriangleBoxTest on four boxes given axis by axis, lane by lane the same: bit
// k of the answer is set unless both s and e lie beyond the same face of box k grown by 1.
inline uint32_t SegmentNearFour(const __m128 lo[3], const __m128 hi[3], const float s[3],
                                const float e[3]) {
    const __m128 one = _mm_set1_ps(1.0f);
    __m128 rejected = _mm_setzero_ps();
    for (int a = 0; a < 3; ++a) {
        const __m128 ws = _mm_set1_ps(s[a]), we = _mm_set1_ps(e[a]);
        const __m128 below = _mm_sub_ps(lo[a], one);
        const __m128 above = _mm_add_ps(hi[a], one);
        rejected = _mm_or_ps(rejected, _mm_and_ps(_mm_cmpgt_ps(below, ws), _mm_cmpgt_ps(below, we)));
        rejected = _mm_or_ps(rejected, _mm_and_ps(_mm_cmplt_ps(above, ws), _mm_cmplt_ps(above, we)));
    }
    return ~static_cast<uint32_t>(_mm_movemask_ps(rejected)) & 15u;
}
#endif

// The first count (1 to 4) of the items, whose corners are finite, that a ray from `from` to `to`
// must test: bit k is set where both SegmentReachesBox(p, FiniteBox(item k), grow, reach) and
// TriangleBoxTest(from, to, its corners) answer true, so that the exact test can skip the latter.
// (For finite corners the box's faces are the very values TriangleBoxTest compares.)
inline uint32_t ItemsForRayTest(const SegmentProbe &p, const AccelItem *items, uint32_t count,
                                float grow, float reach, const Vec3 &from, const Vec3 &to) {
    float entry[4];
#if defined(VOR_SSE2)
    __m128 lo[4], hi[4];
    ItemBoxesFour(items, count, lo, hi);
    const float s[3] = {from.x, from.y, from.z}, e[3] = {to.x, to.y, to.z};
    return SegmentReachesFour(p, lo, hi, _mm_set1_ps(grow), reach, entry) &
           SegmentNearFour(lo, hi, s, e) & ((1u << count) - 1u);
#else
    uint32_t chosen = 0;
    for (uint32_t k = 0; k < count; ++k) {
        const AccelItem &item = items[k];
        if (SegmentReachesBox(p, FiniteBox(item), grow, reach, &entry[k]) &&
            TriangleBoxTest(from, to, item.corner[0], item.corner[1], item.corner[2])) {
            chosen |= 1u << k;
        }
    }
    return chosen;
#endif
}

// The mesh's hierarchy, made current for the world matrix; null when the mesh is scanned plainly.
MeshAccel *MeshAccelFor(const MeshShape *mesh, const Matrix4 &world);

} // namespace vor
