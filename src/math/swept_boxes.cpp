// Per-axis separation of two segments, one widened (see swept_boxes.h).
#include "math/swept_boxes.h"

namespace vor {

namespace {

float Axis(const Vec3 &v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

} // namespace

bool SweptBoxesOverlap(const Vec3 &a0, const Vec3 &a1, const Vec3 &b0, const Vec3 &b1,
                       float margin) {
    // x, then y, then z: both source points below both lowered ends, or above both raised ends.
    for (int axis = 0; axis < 3; ++axis) {
        float s0 = Axis(a0, axis), s1 = Axis(a1, axis);
        float lo0 = Axis(b0, axis) - margin;
        float lo1 = Axis(b1, axis) - margin;
        if (s0 < lo0 && s0 < lo1 && s1 < lo0 && s1 < lo1) {
            return false;
        }
        float hi0 = Axis(b0, axis) + margin;
        float hi1 = Axis(b1, axis) + margin;
        if (s0 > hi0 && s0 > hi1 && s1 > hi0 && s1 > hi1) {
            return false;
        }
    }
    return true;
}

} // namespace vor
