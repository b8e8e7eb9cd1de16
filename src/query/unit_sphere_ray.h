// The rejection tests of a ray against one ellipsoid, in the unit-sphere space of its radii. They
// read only the ray and the ellipsoid, never the best hit so far, so the per-object test and the
// hierarchy's filter share them and reject exactly the same objects with the same bits. Inline,
// since the plain scan runs them once per object of the type.
#pragma once

#include <cmath>

#include "core/module_state.h"
#include "core/thresholds.h"
#include "math/swept_boxes.h"
#include "math/vec3.h"

namespace vor {

// The ray's start, end and unit direction divided by one set of radii.
struct UnitRay {
    Vec3 f, t;
    Vec3 dir;
};

inline UnitRay MakeUnitRay(const RayResult &ray, const Vec3 &radii) {
    UnitRay u;
    u.f = DivideComponents(ray.from, radii);
    u.t = DivideComponents(ray.to, radii);
    u.dir = Normalize(DivideComponents(ray.direction, radii));
    return u;
}

// For the sphere of radius 1 at m (the centre divided by the radii): false when the cube test,
// the line's distance (above 1) or the entry's reach (beyond the ray's length) rejects it; else
// the entry distance along dir from f, negative when the ray starts inside or just past it, and
// the squared length of the ray in this space.
inline bool UnitRayEntry(const UnitRay &ray, const Vec3 &m, float *entry, float *ww) {
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
    const Vec3 w = Sub(ray.t, ray.f);
    *ww = DotProduct(w, w);
    return !(*entry * *entry > *ww);
}

} // namespace vor
