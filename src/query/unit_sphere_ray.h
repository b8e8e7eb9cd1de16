// The rejection tests of a ray against one ellipsoid, in the unit-sphere space of its radii. They
// read only the ray and the ellipsoid, never the best hit so far, so the per-object test and the
// hierarchy's filter share them and reject exactly the same objects with the same bits.
#pragma once

#include "math/vec3.h"

namespace vor {

struct RayResult;

// The ray's start, end and unit direction divided by one set of radii, and its squared length.
struct UnitRay {
    Vec3 f, t;
    Vec3 dir;
    float ww;
};

UnitRay MakeUnitRay(const RayResult &ray, const Vec3 &radii);

// For the sphere of radius 1 at m (the centre divided by the radii): false when the cube test,
// the line's distance (above 1) or the entry's reach (beyond the ray's length) rejects it; else
// the entry distance along dir from f, negative when the ray starts inside or just past it.
bool UnitRayEntry(const UnitRay &ray, const Vec3 &m, float *entry);

} // namespace vor
