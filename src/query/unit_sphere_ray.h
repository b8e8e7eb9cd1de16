// The rejection tests of a ray against one ellipsoid, in the unit-sphere space of its radii. They
// read only the ray and the ellipsoid, never the best hit so far, so the per-object test and the
// hierarchy's filter share them and reject exactly the same objects with the same bits. Inline,
// since the plain scan runs them once per object of the type.
#pragma once

#include <cmath>

#include "core/module_state.h"
#include "core/search_limits.h"
#include "core/thresholds.h"
#include "math/swept_boxes.h"
#include "math/vec3.h"

namespace vor {

// The ray's start, end and unit direction divided by one set of radii, and how far the rounded
// line distance below can be off, per unit of p.p: its roundings (11u) and dir's length, which
// Normalize may have left up to 5e-6 off 1 (with room for dir.dir's own rounding).
struct UnitRay {
    Vec3 f, t;
    Vec3 dir;
    float doubt;
};

inline UnitRay MakeUnitRay(const RayResult &ray, const Vec3 &radii) {
    UnitRay u;
    u.f = DivideComponents(ray.from, radii);
    u.t = DivideComponents(ray.to, radii);
    u.dir = Normalize(DivideComponents(ray.direction, radii));
    u.doubt = static_cast<float>(20.0 * kUnitRoundoff) +
              2.0f * std::fabs(DotProduct(u.dir, u.dir) - 1.0f);
    return u;
}

// The squared distance of the centre from the line, p.p - (p.dir)^2 / dir.dir, for the same p and
// dir in doubles, and how far rounding can have moved it (products of floats are exact in doubles,
// each sum is off by 2^-53 of its terms: a few 1e-16 of p.p); false for a zero direction (a ray too
// short in this space) or values that are not finite.
struct LineDistance {
    double squared;
    double slack;
};
inline bool DistanceInDoubles(const Vec3 &p, const Vec3 &dir, LineDistance *out) {
    const double px = p.x, py = p.y, pz = p.z, dx = dir.x, dy = dir.y, dz = dir.z;
    const double pp = px * px + py * py + pz * pz;
    const double dd = dx * dx + dy * dy + dz * dz;
    const double along = px * dx + py * dy + pz * dz;
    out->squared = pp - along * along / dd;
    out->slack = 1e-6 + 1e-15 * pp;
    return dd > 0.0 && std::isfinite(out->squared);
}

// For the sphere of radius 1 at m (the centre divided by the radii): false when the cube test,
// the line's distance (above 1) or the entry's reach (beyond the ray's length) rejects it; else
// the entry distance along dir from f, negative when the ray starts inside or just past it, and
// the squared length of the ray in this space.
inline bool UnitRayEntry(const UnitRay &ray, const Vec3 &m, float *entry, float *ww) {
    if (!SegmentNearPoint(ray.f, ray.t, m, kRayEllipsoidMargin)) {
        return false;
    }
    // Distance of the centre from the ray's line; a grazing line (exactly 1) still counts.
    const Vec3 p = Sub(m, ray.f);
    const float a = DotProduct(p, ray.dir);
    const float pp = DotProduct(p, p);
    float q = pp - a * a;
    // On a ray long in this space the rounded distance can be far off either way: p.p - a a
    // cancels, and dir's length may be off by 5e-6 (Normalize leaves a squared length within 1e-5
    // of 1 as it is), an error growing with the square of the distance along the ray (a ray 700
    // radii long passed a centre 2 radii off). Where the doubles are clearly on the other side of
    // 1 they decide, with their distance; where the two agree, or the doubles are within rounding
    // of 1, the rounded test's values stand. They are asked only where the rounded distance lies
    // within its possible error (doubt p.p) of 1: elsewhere both are on the same side.
    LineDistance exact;
    const bool doubtful = !(std::fabs(q - 1.0f) > ray.doubt * pp + 2e-6f);
    if (doubtful && DistanceInDoubles(p, ray.dir, &exact)) {
        if (q > 1.0f && exact.squared < 1.0 - exact.slack) {
            q = static_cast<float>(exact.squared);
        } else if (!(q > 1.0f) && exact.squared > 1.0 + exact.slack) {
            return false;
        }
    }
    if (q > 1.0f) {
        return false;
    }
    // Entry point along the line; it may lie behind the start (ray from inside).
    *entry = a - std::sqrt(1.0f - q);
    const Vec3 w = Sub(ray.t, ray.f);
    *ww = DotProduct(w, w);
    return !(*entry * *entry > *ww);
}

// The world distance of the entry UnitRayEntry gave, along a ray of world length `length`: the
// ray test records it, and the ray tree's nearest-first search compares with the same bits.
inline float EllipsoidHitDistance(float entry, float ww, float length) {
    return entry / std::sqrt(ww) * length;
}

} // namespace vor
