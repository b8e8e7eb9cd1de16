// The four-wide line test of rays by type against the exact test it must never be stricter than.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "query/ray_line_lanes.h"

namespace {

using vor::Float4;

struct Box {
    float lo[3], hi[3];
};

// A ray from `from` to `to` with the allowances grow and nearGrow, as the tree's line is made.
vor::RayLine LineOf(const float from[3], const float to[3], double grow, double nearGrow) {
    vor::RayLine line;
    double squared = 0.0;
    for (int a = 0; a < 3; ++a) {
        const double span = double(to[a]) - from[a];
        line.from[a] = from[a];
        line.inv[a] = span != 0.0 ? 1.0 / span : std::copysign(1e300, span);
        line.widen[a] = grow * std::fabs(line.inv[a]);
        line.nearWiden[a] = nearGrow * std::fabs(line.inv[a]);
        squared += span * span;
    }
    line.length = std::sqrt(squared);
    line.nearest = true;
    return line;
}

// Where the exact line enters the box grown by `grow` (a parameter of from + s (to - from)), or NaN
// where it misses; long double, the grow shrunk by a part in 1e12 so that "meets" holds exactly.
long double ExactEntry(const float from[3], const float to[3], const Box &b, double grow) {
    const long double g = grow * (1.0L - 1e-12L);
    long double enter = -INFINITY, leave = INFINITY;
    for (int a = 0; a < 3; ++a) {
        const long double span = (long double)to[a] - from[a];
        const long double lo = b.lo[a] - g, hi = b.hi[a] + g;
        if (span == 0) {
            if (from[a] < lo || from[a] > hi) {
                return NAN;
            }
            continue;
        }
        const long double s0 = (lo - from[a]) / span, s1 = (hi - from[a]) / span;
        enter = std::max(enter, std::min(s0, s1));
        leave = std::min(leave, std::max(s0, s1));
    }
    return enter <= leave ? enter : NAN;
}

// The distance the tree's walk may take for a box whose exact entry (grown for the nearest hit) is
// `entry`: the one the exactness argument allows, made in doubles and rounded to float.
float AllowedNearest(long double entry, double length) {
    const double at = double(entry + 1e-12L * std::fabs(entry)) * length;
    return static_cast<float>(at - 2e-6 * std::fabs(at) - 1e-9 * length);
}

uint32_t Lanes(const vor::RayLineLanes &l, const Box boxes[4], float nearest[4]) {
    float lo[3][4], hi[3][4];
    for (int k = 0; k < 4; ++k) {
        for (int a = 0; a < 3; ++a) {
            lo[a][k] = boxes[k].lo[a];
            hi[a][k] = boxes[k].hi[a];
        }
    }
    Float4 wlo[3], whi[3];
    for (int a = 0; a < 3; ++a) {
        wlo[a] = vor::Load4(lo[a]);
        whi[a] = vor::Load4(hi[a]);
    }
    return vor::LineReachesFour(l, wlo, whi, nearest);
}

// Boxes that the exact line only just meets once grown (a face the allowance away from a point of
// the line), boxes enclosing them, boxes of all space, rays along the axes and at every scale: a
// box the exact line meets is always kept, its nearest distance no later than the exact entry's,
// and a box holding a kept box is kept with a nearest distance no later than that box's.
TEST(RayLineLanes, KeepEveryBoxTheExactLineMeetsAndEveryBoxHoldingOne) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    uint32_t grazing = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const float scale = std::ldexp(1.0f, trial % 40 - 12);
        const float offset = (trial % 3 == 0) ? 1000.0f * scale : 0.0f;
        float from[3], to[3];
        for (int a = 0; a < 3; ++a) {
            from[a] = offset + scale * unit(rng);
            to[a] = (trial % 5 == 0 && a != 1) ? from[a] : offset + scale * unit(rng);
        }
        const double grow = scale * std::ldexp(1.0, -(trial % 30)) * (trial % 7 == 0 ? 0.0 : 1.0);
        const vor::RayLine line = LineOf(from, to, grow, 2.0 * grow);
        const float s = 1.2f * std::fabs(unit(rng)) - 0.1f;
        Box boxes[4];
        for (int k = 0; k < 3; ++k) {
            const int graze = (trial + k) % 3; // the axis whose face stands off the line
            for (int a = 0; a < 3; ++a) {
                const float p = from[a] + s * (to[a] - from[a]);
                const float w = scale * std::fabs(unit(rng));
                boxes[k].lo[a] = p - w;
                boxes[k].hi[a] = p + w;
                if (a == graze && k > 0) {
                    const float face = static_cast<float>(p - grow);
                    (k == 1 ? boxes[k].hi[a] : boxes[k].lo[a]) =
                        k == 1 ? face : static_cast<float>(p + grow);
                    (k == 1 ? boxes[k].lo[a] : boxes[k].hi[a]) =
                        k == 1 ? face - w : static_cast<float>(p + grow) + w;
                }
            }
        }
        for (int a = 0; a < 3; ++a) { // the fourth: the first grown on every face
            boxes[3].lo[a] = boxes[0].lo[a] - scale * std::fabs(unit(rng));
            boxes[3].hi[a] = boxes[0].hi[a] + (trial % 11 == 0 ? INFINITY : scale);
        }
        float qlo[3], qhi[3], widest = 0.0f;
        for (int a = 0; a < 3; ++a) {
            qlo[a] = std::nextafter(std::min(from[a], to[a]), -INFINITY);
            qhi[a] = std::nextafter(std::max(from[a], to[a]), INFINITY);
            for (const Box &b : boxes) {
                qlo[a] = std::min(qlo[a], b.hi[a]);
                qhi[a] = std::max(qhi[a], b.lo[a]);
                if (std::isfinite(b.hi[a])) {
                    widest = std::max(widest, b.hi[a] - b.lo[a]);
                }
            }
        }
        const vor::RayLineLanes lanes = vor::LanesOfLine(line, qlo, qhi, widest);
        float nearest[4];
        const uint32_t kept = Lanes(lanes, boxes, nearest);
        for (int k = 0; k < 3; ++k) {
            const long double entry = ExactEntry(from, to, boxes[k], grow);
            if (std::isnan(entry)) {
                continue;
            }
            grazing += k > 0 ? 1 : 0;
            ASSERT_TRUE(kept >> k & 1u) << "trial " << trial << " box " << k;
            const long double nearEntry = ExactEntry(from, to, boxes[k], 2.0 * grow);
            EXPECT_LE(nearest[k], AllowedNearest(nearEntry, line.length))
                << "trial " << trial << " box " << k;
        }
        if (kept & 1u) {
            ASSERT_TRUE(kept >> 3 & 1u) << "trial " << trial;
            EXPECT_LE(nearest[3], nearest[0]) << "trial " << trial;
        }
    }
    EXPECT_GT(grazing, 10000u); // the grazing boxes were mostly met exactly, so the test bites
}

} // namespace
