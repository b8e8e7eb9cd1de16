// A ray against the unit sphere: the cube pre-test, the line's distance from the centre and the
// entry point's reach, in this order and in float, as every ellipsoid ray test computes them.
#include "query/unit_sphere_ray.h"

#include <cmath>

#include "core/module_state.h"
#include "core/thresholds.h"
#include "pass/ellipsoid_sweep.h"

namespace vor {

UnitRay MakeUnitRay(const RayResult &ray, const Vec3 &radii) {
    UnitRay u;
    u.f = DivideComponents(ray.from, radii);
    u.t = DivideComponents(ray.to, radii);
    u.dir = Normalize(DivideComponents(ray.direction, radii));
    const Vec3 w = Sub(u.t, u.f);
    u.ww = DotProduct(w, w);
    return u;
}

bool UnitRayEntry(const UnitRay &ray, const Vec3 &m, float *entry) {
    if (!SweptBoxesOverlap(ray.f, ray.t, m, m, kRayEllipsoidMargin)) {
        return false;
    }
    // Distance of the centre from the ray's line; a grazing line (exactly 1) still counts.
    const Vec3 p = Sub(m, ray.f);
    const float a = DotProduct(p, ray.dir);
    const float q = DotProduct(p, p) - a * a;
    if (q > 1.0f) {
        return false;
    }
    // Entry point along the line; it may lie behind the start (ray from inside).
    *entry = a - std::sqrt(1.0f - q);
    return !(*entry * *entry > ray.ww);
}

} // namespace vor
