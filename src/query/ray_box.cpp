#include "query/ray_box.h"

#include <algorithm>
#include <cmath>

#include "core/search_limits.h"
#include "math/float_steps.h"

namespace vor {

namespace {

// A leaf's box reaches ahead of its body by this many of its latest moves, at most kAheadMost of
// its largest radius: over 100 passes of a crowd of 4,000 walking every frame, 14,399 leaves moved
// in the tree instead of 30,607 (5,700 instructions each), and keeping the trees current fell
// from 16.1% to 8.4% of the passes' instructions, rays 7% dearer (8 moves ahead: 9.5%, rays 6%
// dearer; 32: 7.5%, rays 53%).
constexpr double kAheadSteps = 16.0;
constexpr double kAheadMost = 4.0;

// What a keep window stays inside its box by, beyond the widening, relative to the magnitudes.
constexpr double kKeepInset = 1e-12;

bool RadiusInRange(double radius) {
    return radius >= kRayIndexSmallestRadius && radius <= kRayIndexCoordinateLimit;
}

} // namespace

bool RayBoxInLimits(const Vec3 &centre, const Vec3 &radii) {
    const double c[3] = {centre.x, centre.y, centre.z};
    const double r[3] = {radii.x, radii.y, radii.z};
    for (int axis = 0; axis < 3; ++axis) {
        // The negated test also catches NaN.
        if (!(RayBoxInRange(c[axis]) && RadiusInRange(r[axis]))) {
            return false;
        }
    }
    return true;
}

double RayBoxReach(double c, double r) {
    return r + kRayBoxWiden * (std::fabs(c) + r);
}

RayIndexBox GrownRayBox(const Vec3 &centre, const Vec3 &radii, const Vec3 &step) {
    RayIndexBox grown;
    const bool inside = RayBoxInLimits(centre, radii);
    const double c[3] = {centre.x, centre.y, centre.z};
    const double r[3] = {radii.x, radii.y, radii.z};
    const double d[3] = {step.x, step.y, step.z};
    const double slack = std::max(r[0], std::max(r[1], r[2]));
    for (int axis = 0; axis < 3; ++axis) {
        const double reach = inside ? RayBoxReach(c[axis], r[axis]) : 0.0;
        // (A step that is not a number adds nothing: the comparisons below fail for it.)
        const double ahead = std::min(kAheadSteps * std::fabs(d[axis]), kAheadMost * slack);
        grown.lo[axis] = inside
                             ? FloatAtOrBelow(c[axis] - reach - slack - (d[axis] < 0 ? ahead : 0.0))
                             : -INFINITY;
        grown.hi[axis] = inside
                             ? FloatAtOrAbove(c[axis] + reach + slack + (d[axis] > 0 ? ahead : 0.0))
                             : INFINITY;
    }
    return grown;
}

// (c - reach >= lo, a float, holds the own box's rounding down too.)
bool StillInGrownBox(const RayIndexBox &grown, const Vec3 &centre, const Vec3 &radii) {
    if (!RayBoxInLimits(centre, radii)) {
        return grown.lo[0] == -INFINITY && grown.hi[0] == INFINITY && grown.lo[1] == -INFINITY &&
               grown.hi[1] == INFINITY && grown.lo[2] == -INFINITY && grown.hi[2] == INFINITY;
    }
    const double c[3] = {centre.x, centre.y, centre.z};
    const double r[3] = {radii.x, radii.y, radii.z};
    for (int axis = 0; axis < 3; ++axis) {
        const double reach = RayBoxReach(c[axis], r[axis]);
        if (!(c[axis] - reach >= grown.lo[axis] && c[axis] + reach <= grown.hi[axis])) {
            return false;
        }
    }
    return true;
}

// Why a centre c in the window passes StillInGrownBox. It lies in the box, so |c| <= M, the larger
// of the faces' magnitudes, and c - r - kRayBoxWiden (|c| + r) >= c - r - kRayBoxWiden (M + r) >=
// lo + kKeepInset (M + r) in exact arithmetic; the doubles round that side, and the window's own
// bound, by parts in 1e16 of M + r, far below the inset (and the mirror above). The radii are the
// body's, within the limits, and the window keeps within the coordinate limit, so the centre is
// within the limits too. (A centre outside the window goes to StillInGrownBox itself.)
KeepWindow KeepWindowOf(const RayIndexBox &grown, const Vec3 &centre, const Vec3 &radii) {
    KeepWindow w;
    const bool known = RayBoxInLimits(centre, radii);
    const double r[3] = {radii.x, radii.y, radii.z};
    for (int axis = 0; axis < 3; ++axis) {
        const double lo = grown.lo[axis], hi = grown.hi[axis];
        const double most = std::max(std::fabs(lo), std::fabs(hi));
        if (!known || !(most < INFINITY)) {
            w.lo[axis] = INFINITY;
            w.hi[axis] = -INFINITY;
            continue;
        }
        const double inset = r[axis] + (kRayBoxWiden + kKeepInset) * (most + r[axis]);
        w.lo[axis] = FloatAtOrAbove(std::max(lo + inset, -kRayIndexCoordinateLimit));
        w.hi[axis] = FloatAtOrBelow(std::min(hi - inset, kRayIndexCoordinateLimit));
    }
    return w;
}

} // namespace vor
