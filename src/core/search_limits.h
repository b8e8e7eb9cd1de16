// The rounding unit and the range limits that the accelerated searches (the mesh hierarchy, the
// pair grid, the ray index of ellipsoids, the near-duplicate index) prove their skips within:
// outside a limit a search hands the case to the plain scan. Named once here so that two proofs
// that use the same bound read the same constant, and two that differ say why.
#pragma once

#include <cstdint>

namespace vor {

// u = 2^-24: the largest relative rounding of one float operation. Compared in double (the
// margins and slacks are worked out in double) or taken as a float, which holds it exactly.
constexpr double kUnitRoundoff = 1.0 / 16777216.0;

// A cell number (floor of a coordinate over a cell size, in double) is clamped, monotonically,
// to +-2^40 before it becomes an int64: exact in both, and spans of clamped cells stay far from
// overflow. Any monotone clamp keeps the skips exact; the clamp only merges far cells.
constexpr double kCellNumberClamp = 1099511627776.0;

// floor(q) clamped so, as an int64, for a q that is not NaN. The clamp comes first (it commutes
// with floor at integer bounds), then the truncation, one down for a negative non-integer: no call
// into the maths library, which a grid made every cell number through.
inline int64_t ClampedCellNumber(double q) {
    const double c =
        q < -kCellNumberClamp ? -kCellNumberClamp : (q > kCellNumberClamp ? kCellNumberClamp : q);
    const int64_t i = static_cast<int64_t>(c);
    return static_cast<double>(i) > c ? i - 1 : i;
}

// The cells of the box of cell numbers lo..hi (inclusive, each side at most 2^41 + 1 cells by the
// clamp), or cap + 1 when there are more than cap. Checked before each product, which could
// otherwise pass 2^64 and wrap to a count that seems to fit.
inline uint64_t CappedCellCount(const int64_t lo[3], const int64_t hi[3], uint64_t cap) {
    uint64_t n = 1;
    for (int a = 0; a < 3; ++a) {
        const uint64_t side = static_cast<uint64_t>(hi[a] - lo[a] + 1);
        if (side > cap / n) {
            return cap + 1;
        }
        n *= side;
    }
    return n;
}

// The two ellipsoid searches each have a regime of magnitudes and radii within which their own
// proofs hold (every quotient of a coordinate by a radius finite and covered by their slacks),
// its smallest radius the reciprocal of its largest magnitude. They differ on purpose: each is the
// regime its own proof was made for (pass/pair_grid.cpp, query/ellipsoid_ray_index.cpp), and
// widening either needs that proof redone. Cases outside go to the plain scan.
constexpr double kPairGridMagnitudeLimit = 1e15;  // double: coordinates and radii of the grid
constexpr double kPairGridSmallestRadius = 1e-15; // double: smaller radii scan plainly
constexpr double kRayIndexCoordinateLimit = 1e18; // double: |centre| and |ray ends| of the index
constexpr double kRayIndexSmallestRadius = 1e-18; // double: smaller radii are always tested

} // namespace vor
