// Direction vectors to angles in degrees, for hosts that orient objects along a normal or a ray.
// The arc cosine is taken in double precision (the library's own, so every platform gives the
// same bits) and its result kept as a 32-bit float, which the
// 32-bit factor 57.295776 then turns into degrees (one float product). Kept that way, the right
// angle, the half turn and 45 degrees come out as exactly 90, 180 and 45.
#include "math/direction_angles.h"

#include <cmath>

#include "math/arc_cosine.h"
#include "math/math_thresholds.h"
#include "math/vec3.h"

namespace vor {

namespace {

// A vector within the unit tolerance of NormalizeVector is used unchanged, so a cosine may
// reach just past 1 (or -1): it is clamped to the nearest end instead of giving NaN.
float ArcCosDegrees(float cosine) {
    double c = static_cast<double>(cosine);
    if (c > 1.0) {
        c = 1.0;
    }
    if (c < -1.0) {
        c = -1.0;
    }
    const float radians = static_cast<float>(ArcCosine(c));
    return radians * kRadiansToDegrees;
}

} // namespace

float DirectionYaw(float x, float y, float z) {
    (void)y; // the height plays no part in the yaw
    Vec3 h;
    NormalizeVector(&h, Vec3{x, 0.0f, z});
    return ArcCosDegrees(h.z);
}

float DirectionPitch(float x, float y, float z) {
    Vec3 h;
    Vec3 d;
    NormalizeVector(&h, Vec3{x, 0.0f, z});
    NormalizeVector(&d, Vec3{x, y, z});
    const float c = d.z * h.z + d.y * h.y + d.x * h.x;
    return ArcCosDegrees(c);
}

} // namespace vor
