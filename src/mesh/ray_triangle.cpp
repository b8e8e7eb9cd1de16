// The whole ray test against one triangle, its grown box first (see ray_triangle.h).
#include "mesh/ray_triangle.h"

#include <cmath>

#include "mesh/triangle_tests.h"

namespace vor {

bool RayTriangleTest(const Vec3 &from, const Vec3 &to, const Vec3 &dir, const Vec3 &t1,
                     const Vec3 &t2, const Vec3 &t3, RayTriangleHit *hit) {
    return TriangleBoxTest(from, to, t1, t2, t3) &&
           RayTriangleTestPastBox(from, dir, t1, t2, t3, hit);
}

} // namespace vor
