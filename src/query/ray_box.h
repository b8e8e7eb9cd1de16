// The boxes the ray trees by type keep round their bodies (ellipsoid_ray_index.cpp): a body's own
// box, the grown box its leaf holds so that the body can move a little in place, and the centres
// at which the body's box still lies in that grown box.
#pragma once

#include <cmath>
#include <limits>

#include "core/search_limits.h"
#include "math/vec3.h"

namespace vor {

struct RayIndexBox {
    float lo[3], hi[3];
};

// The centres, axis by axis, at which StillInGrownBox holds for sure (lo above hi: none).
struct KeepWindow {
    float lo[3], hi[3];
};

// Every box is widened by this share of its centre's and radius's magnitudes, which covers the
// roundings of the ray test (see the top of ellipsoid_ray_index.cpp).
constexpr double kRayBoxWiden = 1e-6;

// A coordinate, and a centre with its radii, within the limits the trees bound safely (NaN is
// not). Inline: every ray by type checks its six coordinates.
inline bool RayBoxInRange(double coordinate) {
    return std::fabs(coordinate) <= kRayIndexCoordinateLimit;
}
bool RayBoxInLimits(const Vec3 &centre, const Vec3 &radii);

// The body's own box on one axis is c +- RayBoxReach(c, r), rounded outwards to floats.
double RayBoxReach(double c, double r);

// The box grown round the body's own box by its largest radius, so that it can move a little in
// place, and ahead of it along `step`, its latest move (see ray_box.cpp); all of space when the
// centre or the radii lie outside the limits.
RayIndexBox GrownRayBox(const Vec3 &centre, const Vec3 &radii, const Vec3 &step);

// The body's own box still lies in the grown box; outside the limits only all of space holds it.
bool StillInGrownBox(const RayIndexBox &grown, const Vec3 &centre, const Vec3 &radii);

// The centres at which StillInGrownBox(grown, c, radii) holds for sure, for a body now at centre:
// none unless the grown box is finite and the body within the limits.
KeepWindow KeepWindowOf(const RayIndexBox &grown, const Vec3 &centre, const Vec3 &radii);

// A window yet to be made (NaN faces: no centre lies in it).
inline KeepWindow KeepWindowNotMade() {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    return KeepWindow{{kNaN, kNaN, kNaN}, {kNaN, kNaN, kNaN}};
}
inline bool KeepWindowMade(const KeepWindow &w) {
    return w.lo[0] == w.lo[0];
}

inline bool InKeepWindow(const KeepWindow &w, const Vec3 &c) {
    return c.x >= w.lo[0] && c.x <= w.hi[0] && c.y >= w.lo[1] && c.y <= w.hi[1] && c.z >= w.lo[2] &&
           c.z <= w.hi[2];
}

} // namespace vor
