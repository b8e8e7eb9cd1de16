// 4x4 row-major matrices used with row vectors: translation in the fourth row, A x B applies A
// first. Builders take radians.
#pragma once

#include "math/vec3.h"

namespace vor {

struct Matrix4 {
    float m[16]; // element [r][c] at 4r + c
};

// (v, 1) x M, divided by w when w differs from 1 by more than 0.00001.
Vec3 *TransformPoint(Vec3 *out, const Vec3 &v, const Matrix4 &m);
// out = a x b; out may be a, b or both.
Matrix4 *MultiplyMatrices(Matrix4 *out, const Matrix4 &a, const Matrix4 &b);
Matrix4 *MakeIdentity(Matrix4 *out);
Matrix4 *MakeScaling(Matrix4 *out, float sx, float sy, float sz);
Matrix4 *MakeTranslation(Matrix4 *out, float tx, float ty, float tz);
Matrix4 *MakeRotationX(Matrix4 *out, float angle);
Matrix4 *MakeRotationY(Matrix4 *out, float angle);
Matrix4 *MakeRotationZ(Matrix4 *out, float angle);

inline Vec3 Transform(const Vec3 &v, const Matrix4 &m) { Vec3 r; return *TransformPoint(&r, v, m); }

} // namespace vor
