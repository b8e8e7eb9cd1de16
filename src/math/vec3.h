// Three 32-bit floats and the vector operations every geometric part shares.
// Each operation writes through out and returns it; out may alias an input.
#pragma once

namespace vor {

struct Vec3 {
    float x, y, z;
};

float DotProduct(const Vec3 &a, const Vec3 &b);
Vec3 *AddVectors(Vec3 *out, const Vec3 &a, const Vec3 &b);
Vec3 *SubtractVectors(Vec3 *out, const Vec3 &a, const Vec3 &b);
Vec3 *SetVector(Vec3 *out, float x, float y, float z);
Vec3 *NegateVector(Vec3 *out, const Vec3 &v);
Vec3 *ScaleVector(Vec3 *out, float f, const Vec3 &v);
Vec3 *CrossProduct(Vec3 *out, const Vec3 &u, const Vec3 &v);
// Unit length; within 0.00001 of unit it is copied unchanged, at most 1e-10 squared gives zero.
Vec3 *NormalizeVector(Vec3 *out, const Vec3 &v);

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
