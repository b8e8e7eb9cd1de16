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

// A box of cells counted against a cap: exact up to it, cap + 1 past it, also where the product
// of the sides (up to 2^41 + 1 each after the clamp) would pass 2^64 and wrap to a small count.
TEST(CappedCellCount, CountsUpToTheCapAndNeverWrapsPastIt) {
    const int64_t lo[3] = {-2, 0, 5};
    const int64_t hi[3] = {1, 2, 5}; // 4 x 3 x 1
    EXPECT_EQ(vor::CappedCellCount(lo, hi, 12), 12u);
    EXPECT_EQ(vor::CappedCellCount(lo, hi, 11), 12u);
    EXPECT_EQ(vor::CappedCellCount(lo, hi, 1000), 12u);
    const int64_t clamp = static_cast<int64_t>(vor::kCellNumberClamp);
    const int64_t wideLo[3] = {0, -clamp, 0};
    const int64_t wideHi[3] = {(int64_t{1} << 23) - 1, clamp, 0}; // 2^23 x (2^41 + 1) x 1
    const uint64_t cap = uint64_t{1} << 23;
    EXPECT_EQ(vor::CappedCellCount(wideLo, wideHi, cap), cap + 1);
    const int64_t allLo[3] = {-clamp, -clamp, -clamp};
    const int64_t allHi[3] = {clamp, clamp, clamp};
    EXPECT_EQ(vor::CappedCellCount(allLo, allHi, 1u << 30), (1u << 30) + 1u);
}
