// The ray test against one triangle, apart from the nearest hit so far: what the ray test of the
// ray queries computes for a triangle, before it compares with the distance of the best hit. The
// operations and their order are those of the per-triangle test (RayAgainstTriangle), so every
// value is the same to the bit.
#pragma once

#include <cmath>

#include "core/records.h"
#include "math/vec3.h"
#include "mesh/triangle_tests.h"

namespace vor {

// Where a ray would hit a triangle: d, the start's distance from its plane, and t, the distance
// along the ray. The per-triangle test records such a hit exactly when both d and t are below the
// nearest distance so far (key = the larger of the two).
struct RayTriangleHit {
    float t;
    float key;
    Vec3 position;
    Vec3 normal;
};

// The test of one triangle (world corners t1, t2, t3) with every step that does not depend on the
// nearest hit: the grown box, the front face, the approach and the point in the triangle, in the
// same float operations. True, with the hit, when the triangle passes them all.
bool RayTriangleTest(const Vec3 &from, const Vec3 &to, const Vec3 &dir, const Vec3 &t1,
                     const Vec3 &t2, const Vec3 &t3, RayTriangleHit *hit);
// The same for a triangle whose grown box (TriangleBoxTest) the segment is known to pass: the
// scalar form of the four-wide test (RayTrianglesFour), which the tests hold it to lane by lane.
inline bool RayTriangleTestPastBox(const Vec3 &from, const Vec3 &dir, const Vec3 &t1,
                                   const Vec3 &t2, const Vec3 &t3, RayTriangleHit *hit) {
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
