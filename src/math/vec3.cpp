// STUB: placeholder so the tree links; its owner replaces this file.
#include "math/vec3.h"
namespace vor {
float DotProduct(const Vec3 &a, const Vec3 &b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 *AddVectors(Vec3 *o, const Vec3 &a, const Vec3 &b) { *o = {a.x + b.x, a.y + b.y, a.z + b.z}; return o; }
Vec3 *SubtractVectors(Vec3 *o, const Vec3 &a, const Vec3 &b) { *o = {a.x - b.x, a.y - b.y, a.z - b.z}; return o; }
Vec3 *SetVector(Vec3 *o, float x, float y, float z) { *o = {x, y, z}; return o; }
Vec3 *NegateVector(Vec3 *o, const Vec3 &v) { *o = {-v.x, -v.y, -v.z}; return o; }
Vec3 *ScaleVector(Vec3 *o, float f, const Vec3 &v) { *o = {f * v.x, f * v.y, f * v.z}; return o; }
Vec3 *CrossProduct(Vec3 *o, const Vec3 &u, const Vec3 &v) { *o = {u.y * v.z - u.z * v.y, u.z * v.x - u.x * v.z, u.x * v.y - u.y * v.x}; return o; }
Vec3 *NormalizeVector(Vec3 *o, const Vec3 &v) { *o = v; return o; }
} // namespace vor
