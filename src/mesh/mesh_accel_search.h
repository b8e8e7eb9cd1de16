// The segment-against-box test the hierarchy skips by distance with, made to err only towards
// "reaches": its float slab parameters carry a relative slack far above their rounding.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

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
struct SegmentProbe {
    float origin[3];
    float dir[3];
    float inv[3];      // 1 / dir, or +-1e25 for a tiny component
    float absInv[3];   // |inv|
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
    }
    return true;
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
    *entry = tn;
    const float slack = 1e-6f * (std::fabs(tn) + std::fabs(tf) + reach);
    return !(tn > tf + slack) && !(tn > reach + slack) && !(tf < -slack);
}

// The mesh's hierarchy, made current for the world matrix; null when the mesh is scanned plainly.
MeshAccel *MeshAccelFor(const MeshShape *mesh, const Matrix4 &world);

} // namespace vor
