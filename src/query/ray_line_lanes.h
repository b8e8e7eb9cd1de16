// A ray's line against up to four boxes at once, in floats: the test with which rays by type walk
// their tree (ellipsoid_ray_index.cpp), made more lenient than the same test in exact arithmetic,
// so that it never leaves out a box the exact line reaches.
//
// Why. Take a box that meets the segment's box (query), at most `boxMost` wide on every axis, and
// an axis the ray moves along. Its faces then lie within E = (query width) + boxMost of from, so
// both face parameters lie within R = E |inv| of 0. In floats each is off from the exact
// (face - from) * inv by at most 3u R (u = 2^-24: the subtraction, inv's rounding to float, the
// product), and taking the grown box's face, near - widen, adds u (R + widen); a double's
// rounding of inv and of the allowances is parts in 1e16. The float allowance is the double one
// plus 2e-6 (R + allowance) (and 1e-30 for a product that underflows), rounded to a float, so at
// least the double one plus 1.9e-6 (R + allowance), more than all of that together: so on each axis
// the float entry lies below the exact entry into the box grown by the double allowance, and the
// float exit above the exact exit. Where the exact line meets the grown box (the largest entry at
// most the smallest exit), the float entry, a maximum of values each below its exact one, stays
// below the float exit: the box is kept. The same holds for the nearest entry, so a distance made
// from it is no larger than the one made from the exact entry. An axis the ray does not move along,
// or whose parameters or allowances could overflow, is left free (inv 1, allowance infinite): it
// keeps every box, which is more lenient still.
//   Boxes that hold such a box: every operation here is monotone in the faces (a rounding never
// reverses an order), so a larger box gets an entry no larger and an exit no smaller, and is
// kept whenever a box inside it is; its nearest distance is no larger than theirs. So a tree node
// left out holds no box the exact test keeps. The query test compares floats exactly.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

#include "math/float4.h"

namespace vor {

// The ray's line, from + s (to - from) for every s, in doubles: 1 / (to - from) per axis (+-1e300
// for an axis it does not move along), its length, and per axis the parameters by which a box is
// grown round for reaching it (widen) and for the nearest hit inside it (nearWiden); those are
// NaN or infinite where nothing is known. nearest: whether nearest distances are known.
struct RayLine {
    double from[3], inv[3];
    double widen[3], nearWiden[3];
    double length;
    bool nearest;
};

// The same line and the segment's box, each value in all four lanes, allowances made float as
// above (nearWiden infinite where nearest distances are not known), with the ray's length and
// the slack of the nearest distances (see LineReachesFour).
struct RayLineLanes {
    Float4 queryLo[3], queryHi[3];
    Float4 from[3], inv[3], widen[3], nearWiden[3];
    Float4 length, lengthSlack;
};

namespace ray_line_lanes_detail {

constexpr double kLaneSlack = 2e-6;      // relative widening for float rounding, see above
constexpr double kLaneUnderflow = 1e-30; // a product's rounding below the normal floats
constexpr double kLaneLimit = 1e30;      // parameters and allowances kept well inside the floats

// An allowance made float as above; infinite where the double one is not finite.
inline float LaneAllowance(double allowance, double reach) {
    if (!(allowance < kLaneLimit)) {
        return std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(allowance + kLaneSlack * (reach + allowance) + kLaneUnderflow);
}

} // namespace ray_line_lanes_detail

// boxMost: the widest, on any axis, of the finite boxes the walk must keep when they reach the
// line. Inline, so that a ray's line goes into its lanes without a RayLine in memory between.
inline RayLineLanes LanesOfLine(const RayLine &line, const float queryLo[3], const float queryHi[3],
                                double boxMost) {
    using namespace ray_line_lanes_detail;
    constexpr float kInf = std::numeric_limits<float>::infinity();
    RayLineLanes l;
    for (int a = 0; a < 3; ++a) {
        l.queryLo[a] = Splat4(queryLo[a]);
        l.queryHi[a] = Splat4(queryHi[a]);
        l.from[a] = Splat4(static_cast<float>(line.from[a]));
        const double absInv = std::fabs(line.inv[a]);
        const double reach = (static_cast<double>(queryHi[a]) - queryLo[a] + boxMost) * absInv;
        const bool moves = absInv < kLaneLimit && reach < kLaneLimit && line.widen[a] < kLaneLimit;
        l.inv[a] = Splat4(moves ? static_cast<float>(line.inv[a]) : 1.0f);
        l.widen[a] = Splat4(moves ? LaneAllowance(line.widen[a], reach) : kInf);
        l.nearWiden[a] =
            Splat4(moves && line.nearest ? LaneAllowance(line.nearWiden[a], reach) : kInf);
    }
    // An entry of -infinity (nearest distances unknown) gives -infinity for any length above 0.
    l.length = Splat4(static_cast<float>(line.length));
    l.lengthSlack = Splat4(static_cast<float>(2e-9 * line.length));
    return l;
}

// The relative slack of a nearest distance in floats: twice the two millionths by which the tree
// lowers the distance made in doubles from the exact entry (its `at - 2e-6 |at| - 1e-9 length`,
// rounded to float), and the length's part doubled too (lengthSlack = 2e-9 length), so that with
// the few roundings of float arithmetic on an entry no later than the exact one, the distance here
// is never the larger of the two.
constexpr float kNearestSlack = 4e-6f;

// Bit k set where box k (lo[a], hi[a] lane k) meets the segment's box and the line grown as above;
// nearest[k] gets a distance no hit inside box k can come before (-infinity, or NaN for a box
// holding none the walk must keep, when unknown), every lane.
inline uint32_t LineReachesFour(const RayLineLanes &l, const Float4 lo[3], const Float4 hi[3],
                                float nearest[4]) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    Mask4 missed = MaskNone4();
    Float4 enter = Splat4(-kInf), leave = Splat4(kInf), nearEnter = Splat4(-kInf);
    for (int a = 0; a < 3; ++a) {
        missed =
            MaskOr4(missed, MaskOr4(Less4(hi[a], l.queryLo[a]), Greater4(lo[a], l.queryHi[a])));
        const Float4 atLo = Mul4(Sub4(lo[a], l.from[a]), l.inv[a]);
        const Float4 atHi = Mul4(Sub4(hi[a], l.from[a]), l.inv[a]);
        const Float4 near = Min4(atLo, atHi), far = Max4(atLo, atHi);
        enter = Max4(enter, Sub4(near, l.widen[a]));
        leave = Min4(leave, Add4(far, l.widen[a]));
        nearEnter = Max4(nearEnter, Sub4(near, l.nearWiden[a]));
    }
    const Float4 at = Mul4(nearEnter, l.length);
    Store4(nearest, Sub4(Sub4(at, Mul4(Splat4(kNearestSlack), Abs4(at))), l.lengthSlack));
    return ~MaskBits4(MaskOr4(missed, Greater4(enter, leave))) & 15u;
}

} // namespace vor
