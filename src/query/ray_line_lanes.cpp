#include "query/ray_line_lanes.h"

#include <cmath>
#include <limits>

namespace vor {

namespace {

constexpr double kLaneSlack = 2e-6;      // relative widening for float rounding, see the header
constexpr double kLaneUnderflow = 1e-30; // a product's rounding below the normal floats
constexpr double kLaneLimit = 1e30;      // parameters and allowances kept well inside the floats

// An allowance made float as the header says; infinite where the double one is not finite.
float LaneAllowance(double allowance, double reach) {
    if (!(allowance < kLaneLimit)) {
        return std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(allowance + kLaneSlack * (reach + allowance) + kLaneUnderflow);
}

} // namespace

RayLineLanes LanesOfLine(const RayLine &line, const float queryLo[3], const float queryHi[3],
                         double boxMost) {
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

} // namespace vor
