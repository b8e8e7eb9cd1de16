// The nearest-hit-free part of the ray test against one triangle. The operations and their order
// are those of the ray queries' per-triangle test (RayAgainstTriangle), so every value is the same
// to the bit; only the comparisons with the nearest distance are left to the caller.
#include "mesh/ray_triangle.h"

#include <cmath>

#include "mesh/triangle_tests.h"

namespace vor {

bool RayTriangleTest(const Vec3 &from, const Vec3 &to, const Vec3 &dir, const Vec3 &t1,
                     const Vec3 &t2, const Vec3 &t3, RayTriangleHit *hit) {
    return TriangleBoxTest(from, to, t1, t2, t3) && RayTriangleTestPastBox(from, dir, t1, t2, t3, hit);
}

bool RayTriangleTestPastBox(const Vec3 &from, const Vec3 &dir, const Vec3 &t1, const Vec3 &t2,
                            const Vec3 &t3, RayTriangleHit *hit) {
    // The start in front of the plane, the ray approaching it, the hit point inside.
    const Vec3 n = Normalize(Cross(Sub(t2, t1), Sub(t3, t1)));
    const float d = DotProduct(Sub(from, t1), n);
    if (!(d > 0.0f)) {
        return false;
    }
    const float approach = DotProduct(n, dir);
    if (!(approach < 0.0f)) {
        return false;
    }
    const float t = std::fabs(d / approach);
    const Vec3 p = Add(from, Scale(t, dir));
    if (!PointInTriangle(p, n, t1, t2, t3)) {
        return false;
    }
    hit->t = t;
    hit->key = d > t ? d : t;
    hit->position = p;
    hit->normal = n;
    return true;
}

} // namespace vor
