// The segment-against-box test the hierarchy skips by distance with, made to err only towards
// "reaches": its float slab parameters carry a relative slack far above their rounding.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "math/float4.h"
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
    Float4 wideOrigin[3], wideInv[3], wideAbsInv[3]; // each value in all four lanes
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
        p->wideOrigin[a] = Splat4(p->origin[a]);
        p->wideInv[a] = Splat4(p->inv[a]);
        p->wideAbsInv[a] = Splat4(p->absInv[a]);
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

// SegmentReachesBox on four boxes at once, given axis by axis (lo[a], hi[a]) with their grow: lane
// by lane the very same float operations, the maximum and minimum taken in the same order. Bit k
// of the answer is set where it answers true for box k, entry[k] gets its entry.
inline uint32_t SegmentReachesFour(const SegmentProbe &p, const Float4 lo[3], const Float4 hi[3],
                                   Float4 grow, float reach, float entry[4]) {
    const Float4 inf = Splat4(std::numeric_limits<float>::infinity());
    const Float4 minusInf = Splat4(-std::numeric_limits<float>::infinity());
    Float4 tn = minusInf;
    Float4 tf = inf;
    for (int a = 0; a < 3; ++a) {
        const Float4 atLo = Mul4(Sub4(lo[a], p.wideOrigin[a]), p.wideInv[a]);
        const Float4 atHi = Mul4(Sub4(hi[a], p.wideOrigin[a]), p.wideInv[a]);
        const Float4 widen = Mul4(grow, p.wideAbsInv[a]);
        const Float4 t0 = Sub4(Min4(atLo, atHi), widen);
        const Float4 t1 = Add4(Max4(atLo, atHi), widen);
        tn = Max4(t0, tn);
        tf = Min4(t1, tf);
    }
    const Float4 reachAll = Splat4(reach);
    const Float4 slack = Mul4(Splat4(1e-6f), Add4(Add4(Abs4(tn), Abs4(tf)), reachAll));
    const Mask4 missed = MaskOr4(MaskOr4(Greater4(tn, Add4(tf, slack)),
                                         Greater4(tn, Add4(reachAll, slack))),
                                 Less4(tf, Sub4(Zero4(), slack)));
    const Mask4 unbounded = NotLess4(grow, inf); // !(grow < inf): always reached
    Store4(entry, Select4(unbounded, minusInf, tn));
    return MaskBits4(unbounded) | (~MaskBits4(missed) & 15u);
}

// FiniteBox of the first count (1 to 4) items, whose corners are finite, axis by axis: lo[a] and
// hi[a] hold axis a of the four boxes (lanes past count repeat the first item). The four boxes
// are made from the corners side by side, then turned.
inline void ItemBoxesFour(const AccelItem *items, uint32_t count, Float4 lo[4], Float4 hi[4]) {
    for (uint32_t k = 0; k < 4; ++k) {
        const AccelItem &item = items[k < count ? k : 0];
        const Float4 a = Load4(&item.corner[0].x);
        const Float4 b = Load4(&item.corner[1].x);
        const Float4 c = Load4(&item.corner[2].x); // the fourth lanes go unused
        lo[k] = Min4(Min4(a, b), c);
        hi[k] = Max4(Max4(a, b), c);
    }
    Transpose4(lo[0], lo[1], lo[2], lo[3]);
    Transpose4(hi[0], hi[1], hi[2], hi[3]);
}

// The boxes of children g..g+3 of a node, axis by axis; answers bit k set where child g+k is
// occupied.
inline uint32_t LoadChildGroup(const AccelNode &node, uint32_t g, Float4 lo[3], Float4 hi[3]) {
    for (int a = 0; a < 3; ++a) {
        lo[a] = Load4(node.lo[a] + g);
        hi[a] = Load4(node.hi[a] + g);
    }
    return ~EqualBits4(node.ref + g, kEmptyChild) & 15u;
}

// The margins of children g..g+3 (their sign bits hold twinsOnly).
inline Float4 ChildMargins4(const AccelNode &node, uint32_t g) {
    return Abs4(Load4(node.margin + g));
}

// SegmentReachesBox(p, child k's box, its margin + slop, reach, &entry[k]) for the children of a
// node, four at a time: bit k of the answer is set where it answers true (never for an empty slot).
// Bit k of *twinsOnly is set where child k holds twins only.
inline uint32_t SegmentReachesChildren(const SegmentProbe &p, const AccelNode &node, float slop,
                                       float reach, float entry[kAccelWidth], uint32_t *twinsOnly) {
    uint32_t reached = 0;
    *twinsOnly = 0;
    for (uint32_t g = 0; g < kAccelWidth; g += 4) {
        Float4 lo[3], hi[3];
        const uint32_t occupied = LoadChildGroup(node, g, lo, hi);
        const Float4 margins = Load4(node.margin + g);
        *twinsOnly |= SignBits4(margins) << g;
        const Float4 grow = Add4(Abs4(margins), Splat4(slop));
        reached |= (SegmentReachesFour(p, lo, hi, grow, reach, entry + g) & occupied) << g;
    }
    return reached;
}

// The comparisons of TriangleBoxTest on four boxes given axis by axis, lane by lane the same: bit
// k of the answer is set unless both s and e lie beyond the same face of box k grown by 1.
inline uint32_t SegmentNearFour(const Float4 lo[3], const Float4 hi[3], const float s[3],
                                const float e[3]) {
    const Float4 one = Splat4(1.0f);
    Mask4 rejected = MaskNone4();
    for (int a = 0; a < 3; ++a) {
        const Float4 ws = Splat4(s[a]), we = Splat4(e[a]);
        const Float4 below = Sub4(lo[a], one);
        const Float4 above = Add4(hi[a], one);
        rejected = MaskOr4(rejected, MaskAnd4(Greater4(below, ws), Greater4(below, we)));
        rejected = MaskOr4(rejected, MaskAnd4(Less4(above, ws), Less4(above, we)));
    }
    return ~MaskBits4(rejected) & 15u;
}

// The first count (1 to 4) of the items, whose corners are finite, that a ray from `from` to `to`
// must test: bit k is set where both SegmentReachesBox(p, FiniteBox(item k), grow, reach) and
// TriangleBoxTest(from, to, its corners) answer true, so that the exact test can skip the latter.
// (For finite corners the box's faces are the very values TriangleBoxTest compares.)
inline uint32_t ItemsForRayTest(const SegmentProbe &p, const AccelItem *items, uint32_t count,
                                float grow, float reach, const Vec3 &from, const Vec3 &to) {
    float entry[4];
    Float4 lo[4], hi[4];
    ItemBoxesFour(items, count, lo, hi);
    const float s[3] = {from.x, from.y, from.z}, e[3] = {to.x, to.y, to.z};
    return SegmentReachesFour(p, lo, hi, Splat4(grow), reach, entry) &
           SegmentNearFour(lo, hi, s, e) & ((1u << count) - 1u);
}

// The mesh's hierarchy, made current for the world matrix; null when the mesh is scanned plainly.
MeshAccel *MeshAccelFor(const MeshShape *mesh, const Matrix4 &world);

} // namespace vor
