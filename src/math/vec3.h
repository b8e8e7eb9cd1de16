// Three 32-bit floats and the vector operations every geometric part shares.
// Each operation writes through out and returns it; out may alias an input.
#pragma once

#include <cmath>

#include "math/math_thresholds.h"

namespace vor {

struct Vec3 {
    float x, y, z;
};

// Plain 32-bit float arithmetic in a fixed order, so that every caller computes the same bits.
// Each operation reads all of its inputs before it writes out, which keeps out free to alias any
// input. They are inline because the per-triangle tests call them millions of times a frame.
inline float DotProduct(const Vec3 &a, const Vec3 &b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline Vec3 *AddVectors(Vec3 *out, const Vec3 &a, const Vec3 &b) {
    const float x = a.x + b.x;
    const float y = a.y + b.y;
    const float z = a.z + b.z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

inline Vec3 *SubtractVectors(Vec3 *out, const Vec3 &a, const Vec3 &b) {
    const float x = a.x - b.x;
    const float y = a.y - b.y;
    const float z = a.z - b.z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

inline Vec3 *SetVector(Vec3 *out, float x, float y, float z) {
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

inline Vec3 *NegateVector(Vec3 *out, const Vec3 &v) {
    const float x = -v.x;
    const float y = -v.y;
    const float z = -v.z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

inline Vec3 *ScaleVector(Vec3 *out, float f, const Vec3 &v) {
    const float x = f * v.x;
    const float y = f * v.y;
    const float z = f * v.z;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

inline Vec3 *CrossProduct(Vec3 *out, const Vec3 &u, const Vec3 &v) {
    const float x = u.y * v.z - u.z * v.y;
    const float y = u.z * v.x - u.x * v.z;
    const float z = u.x * v.y - u.y * v.x;
    out->x = x;
    out->y = y;
    out->z = z;
    return out;
}

// Unit length; within 0.00001 of unit it is copied unchanged, at most 1e-10 squared gives zero.
inline Vec3 *NormalizeVector(Vec3 *out, const Vec3 &v) {
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

// Value-returning conveniences built on the operations above (same float operations).
inline Vec3 Add(const Vec3 &a, const Vec3 &b) { Vec3 r; return *AddVectors(&r, a, b); }
inline Vec3 Sub(const Vec3 &a, const Vec3 &b) { Vec3 r; return *SubtractVectors(&r, a, b); }
inline Vec3 Scale(float f, const Vec3 &v) { Vec3 r; return *ScaleVector(&r, f, v); }
inline Vec3 Cross(const Vec3 &u, const Vec3 &v) { Vec3 r; return *CrossProduct(&r, u, v); }
inline Vec3 Normalize(const Vec3 &v) { Vec3 r; return *NormalizeVector(&r, v); }
inline Vec3 MakeVec3(float x, float y, float z) { return Vec3{x, y, z}; }
// Component-wise division and multiplication, for unit-sphere space.
inline Vec3 DivideComponents(const Vec3 &v, const Vec3 &r) { return Vec3{v.x / r.x, v.y / r.y, v.z / r.z}; }
inline Vec3 MultiplyComponents(const Vec3 &v, const Vec3 &r) { return Vec3{v.x * r.x, v.y * r.y, v.z * r.z}; }

} // namespace vor
