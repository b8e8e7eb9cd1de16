// STUB: placeholder so the tree links; its owner replaces this file.
#include "math/matrix4.h"
namespace vor {
Vec3 *TransformPoint(Vec3 *o, const Vec3 &v, const Matrix4 &) { *o = v; return o; }
Matrix4 *MultiplyMatrices(Matrix4 *o, const Matrix4 &, const Matrix4 &) { return o; }
Matrix4 *MakeIdentity(Matrix4 *o) { return o; }
Matrix4 *MakeScaling(Matrix4 *o, float, float, float) { return o; }
Matrix4 *MakeTranslation(Matrix4 *o, float, float, float) { return o; }
Matrix4 *MakeRotationX(Matrix4 *o, float) { return o; }
Matrix4 *MakeRotationY(Matrix4 *o, float) { return o; }
Matrix4 *MakeRotationZ(Matrix4 *o, float) { return o; }
} // namespace vor
