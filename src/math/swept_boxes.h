// The cheap rejection shared by the ellipsoid pair sweep and the ray tests against ellipsoids: two
// segments whose boxes, one widened, are apart on some axis.
#pragma once

#include "math/vec3.h"

namespace vor {

// Per-axis separation of segment a0-a1 from segment b0-b1 widened by margin; touching overlaps.
// (Out of line: the pair sweep took more instructions with it inline, in three forms tried.)
bool SweptBoxesOverlap(const Vec3 &a0, const Vec3 &a1, const Vec3 &b0, const Vec3 &b1,
                       float margin);

// SweptBoxesOverlap(a0, a1, m, m, margin), inline, for a ray against every ellipsoid centre it
// passes: with both ends of the second segment at m, its lowered and raised ends are one value
// each, rounded as there and compared the same way, so the answer is the same.
inline bool SegmentNearPoint(const Vec3 &a0, const Vec3 &a1, const Vec3 &m, float margin) {
    const float s0[3] = {a0.x, a0.y, a0.z}, s1[3] = {a1.x, a1.y, a1.z}, c[3] = {m.x, m.y, m.z};
    for (int axis = 0; axis < 3; ++axis) {
        const float lo = c[axis] - margin, hi = c[axis] + margin;
        if ((s0[axis] < lo && s1[axis] < lo) || (s0[axis] > hi && s1[axis] > hi)) {
            return false;
        }
    }
    return true;
}

} // namespace vor
