// The segment-against-box test the hierarchy skips by distance with, made to err only towards
// "reaches": its float slab parameters carry a relative slack far above their rounding.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "mesh/mesh_accel_layout.h"

namespace vor {

// Coordinates and parameters at or above this are left to the plain tests.
constexpr float kProbeLimit = 1e12f;
// A direction component below 1e-25 in size gets the reciprocal 1e25 (with its sign) instead of
// its own: smaller than the true one, so every slab parameter it gives is nearer to 0 than the
// true one, which only ever keeps a box. Products stay finite for coordinates below 1e13.
constexpr float kProbeTiny = 1e-25f;
constexpr float kProbeHuge = 1e25f;

// The points origin + t * dir for 0 <= t <= a reach the caller gives.
// Per axis x, y, z, with a fourth lane of 0 so that an axis triple loads four-wide.
struct SegmentProbe {
    alignas(16) float origin[4];
    alignas(16) float inv[4];        // 1 / dir, or +-1e25 for a tiny component
    alignas(16) float absInv[4];     // |inv|
    alignas(16) uint32_t nearLane[4]; // all ones where nearHi
    float dir[3];
    uint8_t nearHi[3]; // 1 where the probe runs towards -infinity: it meets the high face first
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
        p->nearHi[a] = p->inv[a] < 0.0f ? 1 : 0;
        p->nearLane[a] = p->nearHi[a] != 0 ? ~0u : 0u;
    }
    p->origin[3] = p->inv[3] = p->absInv[3] = 0.0f;
    p->nearLane[3] = 0;
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
// the box: NaN drops out of the maximum and minimum, infinity makes the slack infinite.
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
        const float nearFace = p.nearHi[a] != 0 ? b.hi[a] : b.lo[a];
        const float farFace = p.nearHi[a] != 0 ? b.lo[a] : b.hi[a];
        const float widen = grow * p.absInv[a];
        const float t0 = (nearFace - p.origin[a]) * p.inv[a] - widen;
        const float t1 = (farFace - p.origin[a]) * p.inv[a] + widen;
        tn = t0 > tn ? t0 : tn;
        tf = t1 < tf ? t1 : tf;
    }
    return SlabVerdict(tn, tf, reach, entry);
}

// SegmentReachesBox(p, FiniteBox(item), grow, reach, entry) for an item whose corners are finite,
// the three axes side by side where four-wide arithmetic is at hand: the same operations on each
// axis, and the maximum and minimum taken over x, y, z in the same order, so the same answer.
inline bool SegmentReachesItem(const SegmentProbe &p, const AccelItem &item, float grow,
                               float reach, float *entry) {
#if defined(__SSE2__)
    constexpr float kInf = std::numeric_limits<float>::infinity();
    *entry = -kInf;
    if (!(grow < kInf)) {
        return true;
    }
    const __m128 a = _mm_loadu_ps(&item.corner[0].x);
    const __m128 b = _mm_loadu_ps(&item.corner[1].x);
    const __m128 c = _mm_loadu_ps(&item.corner[2].x); // the fourth lanes go unused
    const __m128 lo = _mm_min_ps(_mm_min_ps(a, b), c);
    const __m128 hi = _mm_max_ps(_mm_max_ps(a, b), c);
    const __m128 nearHi = _mm_load_ps(reinterpret_cast<const float *>(p.nearLane));
    const __m128 nearFace = _mm_or_ps(_mm_and_ps(nearHi, hi), _mm_andnot_ps(nearHi, lo));
    const __m128 farFace = _mm_or_ps(_mm_and_ps(nearHi, lo), _mm_andnot_ps(nearHi, hi));
    const __m128 origin = _mm_load_ps(p.origin);
    const __m128 inv = _mm_load_ps(p.inv);
    const __m128 widen = _mm_mul_ps(_mm_set1_ps(grow), _mm_load_ps(p.absInv));
    const __m128 t0 = _mm_sub_ps(_mm_mul_ps(_mm_sub_ps(nearFace, origin), inv), widen);
    const __m128 t1 = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(farFace, origin), inv), widen);
    __m128 tn = _mm_max_ss(t0, _mm_set_ss(-kInf));
    tn = _mm_max_ss(_mm_shuffle_ps(t0, t0, 1), tn);
    tn = _mm_max_ss(_mm_shuffle_ps(t0, t0, 2), tn);
    __m128 tf = _mm_min_ss(t1, _mm_set_ss(kInf));
    tf = _mm_min_ss(_mm_shuffle_ps(t1, t1, 1), tf);
    tf = _mm_min_ss(_mm_shuffle_ps(t1, t1, 2), tf);
    return SlabVerdict(_mm_cvtss_f32(tn), _mm_cvtss_f32(tf), reach, entry);
#else
    return SegmentReachesBox(p, FiniteBox(item), grow, reach, entry);
#endif
}

// SegmentReachesBox(p, child k's box, its margin + slop, reach, &entry[k]) for the four children
// of a node at once: bit k of the answer is set where it answers true (never for an empty slot).
// The four-wide path does the very same float operations lane by lane, so both paths agree.
inline uint32_t SegmentReachesChildren(const SegmentProbe &p, const AccelNode &node, float slop,
                                       float reach, float entry[kAccelWidth]) {
#if defined(__SSE2__)
    const __m128 inf = _mm_set1_ps(std::numeric_limits<float>::infinity());
    const __m128 grow = _mm_add_ps(_mm_loadu_ps(node.margin), _mm_set1_ps(slop));
    __m128 tn = _mm_set1_ps(-std::numeric_limits<float>::infinity());
    __m128 tf = inf;
    for (int a = 0; a < 3; ++a) {
        const __m128 nearFace = _mm_loadu_ps(p.nearHi[a] != 0 ? node.hi[a] : node.lo[a]);
        const __m128 farFace = _mm_loadu_ps(p.nearHi[a] != 0 ? node.lo[a] : node.hi[a]);
        const __m128 origin = _mm_set1_ps(p.origin[a]);
        const __m128 inv = _mm_set1_ps(p.inv[a]);
        const __m128 widen = _mm_mul_ps(grow, _mm_set1_ps(p.absInv[a]));
        const __m128 t0 = _mm_sub_ps(_mm_mul_ps(_mm_sub_ps(nearFace, origin), inv), widen);
        const __m128 t1 = _mm_add_ps(_mm_mul_ps(_mm_sub_ps(farFace, origin), inv), widen);
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
    const __m128 minusInf = _mm_set1_ps(-std::numeric_limits<float>::infinity());
    _mm_storeu_ps(entry, _mm_or_ps(_mm_and_ps(unbounded, minusInf), _mm_andnot_ps(unbounded, tn)));
    const __m128 all = _mm_castsi128_ps(_mm_set1_epi32(-1));
    const __m128 empty = _mm_castsi128_ps(_mm_cmpeq_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i *>(node.ref)), _mm_setzero_si128()));
    const __m128 reached = _mm_andnot_ps(empty, _mm_or_ps(unbounded, _mm_andnot_ps(missed, all)));
    return static_cast<uint32_t>(_mm_movemask_ps(reached));
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

// The mesh's hierarchy, made current for the world matrix; null when the mesh is scanned plainly.
MeshAccel *MeshAccelFor(const MeshShape *mesh, const Matrix4 &world);

} // namespace vor
