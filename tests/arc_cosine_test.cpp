// The library's own arc cosine against the correctly rounded float of the system's double acos:
// direction angles are rounded to float, so these must agree bit for bit.
#include <gtest/gtest.h>

#include <cmath>

#include "math/arc_cosine.h"

namespace {

int CountMismatches(double from, double to, int steps) {
    int mismatches = 0;
    for (int i = 0; i <= steps; ++i) {
        const float c = static_cast<float>(from + (to - from) * i / steps);
        const double x = static_cast<double>(c);
        if (static_cast<float>(vor::ArcCosine(x)) != static_cast<float>(std::acos(x))) {
            ++mismatches;
        }
    }
    return mismatches;
}

} // namespace

TEST(ArcCosine, MatchesRoundedDoubleValuesAcrossTheRange) {
    EXPECT_EQ(CountMismatches(-1.0, 1.0, 1000000), 0);
}

TEST(ArcCosine, MatchesNearTheEndsAndTheSeriesSwitch) {
    EXPECT_EQ(CountMismatches(0.999, 1.0, 100000), 0);
    EXPECT_EQ(CountMismatches(-1.0, -0.999, 100000), 0);
    EXPECT_EQ(CountMismatches(0.49, 0.51, 100000), 0);
    EXPECT_EQ(CountMismatches(-0.51, -0.49, 100000), 0);
}

TEST(ArcCosine, ExactEndsAndNaNOutsideTheRange) {
    EXPECT_EQ(vor::ArcCosine(1.0), 0.0);
    EXPECT_EQ(static_cast<float>(vor::ArcCosine(-1.0)), static_cast<float>(M_PI));
    EXPECT_EQ(static_cast<float>(vor::ArcCosine(0.0)), static_cast<float>(M_PI / 2));
    EXPECT_TRUE(std::isnan(vor::ArcCosine(NAN)));
    EXPECT_TRUE(std::isnan(vor::ArcCosine(1.5)));
}
