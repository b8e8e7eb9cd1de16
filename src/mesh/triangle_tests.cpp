// STUB: placeholder so the tree links; its owner replaces this file.
#include "mesh/triangle_tests.h"
namespace vor {
bool MeshBoundsTest(const MeshShape *, const Vec3 &, const Vec3 &, const CollisionBody *, const Vec3 &) { return true; }
bool TriangleBoxTest(const Vec3 &, const Vec3 &, const Vec3 &, const Vec3 &, const Vec3 &) { return true; }
bool PointInTriangle(const Vec3 &, const Vec3 &, const Vec3 &, const Vec3 &, const Vec3 &) { return false; }
Vec3 ClosestPointOnLine(const Vec3 &a, const Vec3 &, const Vec3 &) { return a; }
bool EdgeInteriorTest(const Vec3 &, const Vec3 &, const Vec3 &) { return false; }
} // namespace vor
