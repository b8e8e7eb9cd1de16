// The vector operations on Vec3: plain 32-bit float arithmetic in a fixed order, so that every
// caller computes the same bits. Each operation reads all of its inputs before it writes out,
// which keeps out free to alias any input.
#include "math/vec3.h"

#include <cmath>

#include "math/math_thresholds.h"

namespace vor {

float DotProduct(const Vec3 &a, const Vec3 &b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 *AddVectors(Vec3 *out, const Vec3 &a, const Vec3 &b) {
    const float x = a.x + b.x;
    const float y = a.y + b.y;
    const float z = a.z + b.z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

Vec3 *SubtractVectors(Vec3 *out, const Vec3 &a, const Vec3 &b) {
    const float x = a.x - b.x;
    const float y = a.y - b.y;
    const float z = a.z - b.z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

Vec3 *SetVector(Vec3 *out, float x, float y, float z) {
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

Vec3 *NegateVector(Vec3 *out, const Vec3 &v) {
    const float x = -v.x;
    const float y = -v.y;
    const float z = -v.z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

Vec3 *ScaleVector(Vec3 *out, float f, const Vec3 &v) {
    const float x = f * v.x;
    const float y = f * v.y;
    const float z = f * v.z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

Vec3 *CrossProduct(Vec3 *out, const Vec3 &u, const Vec3 &v) {
    const float x = u.y * v.z - u.z * v.y;
    const float y = u.z * v.x - u.x * v.z;
    const float z = u.x * v.y - u.y * v.x;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

Vec3 *NormalizeVector(Vec3 *out, const Vec3 &v) {
    const float x = v.x;
    const float y = v.y;
    const float z = v.z;
    // The squared length is summed y, z, x: that order decides the last bit near the tolerances.
    const float s = y * y + z * z + x * x;
    const float offUnit = s - 1.0f;

    // Close enough to unit: used as it is, so normalising twice never drifts.
    if (offUnit >= -kUnitTolerance && offUnit <= kUnitTolerance) {
        out->x = x;
        out->y = y;
        out->z = z;
        return out;
    }
    // Zero or tiny: the zero vector rather than a division by (almost) nothing.
    if (s <= kTinySquaredLength) {
        out->x = 0.0f;
        out->y = 0.0f;
        out->z = 0.0f;
        return out;
    }
    const float f = 1.0f / std::sqrt(s);
    out->x = x * f;
    out->y = y * f;
    out->z = z * f;
    return out;
}

} // namespace vor
