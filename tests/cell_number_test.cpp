// The grids' cell numbers: floor then clamp, as the maths library's floor gives it, for every
// kind of value a grid meets (whole, halves, just off a whole number, signed zeros, subnormals,
// around the clamp and far past it).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "core/search_limits.h"

namespace {

int64_t Reference(double q) {
    const double c = std::floor(q);
    return static_cast<int64_t>(
        std::min(std::max(c, -vor::kCellNumberClamp), vor::kCellNumberClamp));
}

TEST(ClampedCellNumber, IsTheFloorClampedToTheCellRange) {
    const double clamp = vor::kCellNumberClamp;
    const double edges[] = {0.0,
                            -0.0,
                            0.5,
                            -0.5,
                            1.0,
                            -1.0,
                            2.5,
                            -2.5,
                            std::nextafter(1.0, 0.0),
                            std::nextafter(-1.0, 0.0),
                            std::nextafter(-1.0, -2.0),
                            4.9e-324,
                            -4.9e-324,
                            1e-300,
                            -1e-300,
                            clamp,
                            -clamp,
                            clamp - 0.5,
                            -clamp + 0.5,
                            clamp + 0.5,
                            -clamp - 0.5,
                            std::nextafter(clamp, 0.0),
                            std::nextafter(-clamp, 0.0),
                            1e300,
                            -1e300,
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            4503599627370495.5,
                            -4503599627370495.5};
    for (double q : edges) {
        EXPECT_EQ(vor::ClampedCellNumber(q), Reference(q)) << q;
    }
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> scale(-45.0, 45.0);
    for (int k = 0; k < 200000; ++k) {
        const double q = std::ldexp(std::uniform_real_distribution<double>(-1.0, 1.0)(rng),
                                    static_cast<int>(scale(rng)));
        ASSERT_EQ(vor::ClampedCellNumber(q), Reference(q)) << q;
    }
}

} // namespace
