// The 4x4 matrix operations: point transform, product and the five builders. Matrices are
// row-major and used with row vectors, so translation sits in the fourth row and A x B applies A
// first. Every sum is accumulated in 32-bit floats from the first term to the last.
//
// The rotation builders take sine and cosine of the 32-bit angle as one pair from the library's
// own SineCosine, so Linux and Windows builds produce the same matrix bits.
#include "math/matrix4.h"

#include <cmath>

#include "math/math_thresholds.h"
#include "math/sine_cosine.h"

namespace vor {

namespace {

// Zero in all sixteen elements, then the caller sets the non-zero ones.
void Clear(Matrix4 *out) {
    for (int i = 0; i < 16; ++i) {
        out->m[i] = 0.0f;
    }
}

} // namespace

Vec3 *TransformPoint(Vec3 *out, const Vec3 &v, const Matrix4 &m) {
    const float *e = m.m;
    const float x = v.x;
    const float y = v.y;
    const float z = v.z;
    float tx = x * e[0] + y * e[4] + z * e[8] + e[12];
    float ty = x * e[1] + y * e[5] + z * e[9] + e[13];
    float tz = x * e[2] + y * e[6] + z * e[10] + e[14];
    const float w = x * e[3] + y * e[7] + z * e[11] + e[15];

    // Projective matrices only: the library's own affine ones give w = 1 and skip this. A w of
    // exactly 0 is left unguarded and yields infinities (a point at infinity).
    const float offUnit = w - 1.0f;
    if (offUnit < -kUnitTolerance || offUnit > kUnitTolerance) {
        const float inv = 1.0f / w;
        tx = tx * inv;
        ty = ty * inv;
        tz = tz * inv;
    }
    out->x = tx;
    out->y = ty;
    out->z = tz;
    return out;
}

Matrix4 *MultiplyMatrices(Matrix4 *out, const Matrix4 &a, const Matrix4 &b) {
    // Build the product aside, then store it: correct whether out is a, b, both or neither.
    Matrix4 product;
    for (int i = 0; i < 4; ++i) {
        const float *row = &a.m[4 * i];
        for (int j = 0; j < 4; ++j) {
            product.m[4 * i + j] =
                row[0] * b.m[j] + row[1] * b.m[4 + j] + row[2] * b.m[8 + j] + row[3] * b.m[12 + j];
        }
    }
    *out = product;
    return out;
}

Matrix4 *MakeIdentity(Matrix4 *out) {
    Clear(out);
    out->m[0] = 1.0f;
    out->m[5] = 1.0f;
    out->m[10] = 1.0f;
    out->m[15] = 1.0f;
    return out;
}

Matrix4 *MakeScaling(Matrix4 *out, float sx, float sy, float sz) {
    Clear(out);
    out->m[0] = sx;
    out->m[5] = sy;
    out->m[10] = sz;
    out->m[15] = 1.0f;
    return out;
}

Matrix4 *MakeTranslation(Matrix4 *out, float tx, float ty, float tz) {
    MakeIdentity(out);
    out->m[12] = tx;
    out->m[13] = ty;
    out->m[14] = tz;
    return out;
}

Matrix4 *MakeRotationX(Matrix4 *out, float angle) {
    float s, c;
    SineCosine(angle, &s, &c);
    Clear(out);
    out->m[0] = 1.0f;
    out->m[5] = c;
    out->m[6] = s;
    out->m[9] = -s;
    out->m[10] = c;
    out->m[15] = 1.0f;
    return out;
}

Matrix4 *MakeRotationY(Matrix4 *out, float angle) {
    float s, c;
    SineCosine(angle, &s, &c);
    Clear(out);
    out->m[0] = c;
    out->m[2] = -s;
    out->m[5] = 1.0f;
    out->m[8] = s;
    out->m[10] = c;
    out->m[15] = 1.0f;
    return out;
}

Matrix4 *MakeRotationZ(Matrix4 *out, float angle) {
    float s, c;
    SineCosine(angle, &s, &c);
    Clear(out);
    out->m[0] = c;
    out->m[1] = s;
    out->m[4] = -s;
    out->m[5] = c;
    out->m[10] = 1.0f;
    out->m[15] = 1.0f;
    return out;
}

} // namespace vor
