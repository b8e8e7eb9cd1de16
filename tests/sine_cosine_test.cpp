// The library's own sine and cosine against the correctly rounded values of the system's double
// functions: they must agree bit for bit, since every platform's module relies on these bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

#include "math/sine_cosine.h"

namespace {

float RoundedSin(float a) { return static_cast<float>(std::sin(static_cast<double>(a))); }
float RoundedCos(float a) { return static_cast<float>(std::cos(static_cast<double>(a))); }

// Counts angles whose pair differs from the rounded double values.
int CountMismatches(float from, float to, int steps) {
    int mismatches = 0;
    for (int i = 0; i <= steps; ++i) {
        float a = from + (to - from) * (static_cast<float>(i) / static_cast<float>(steps));
        float s, c;
        vor::SineCosine(a, &s, &c);
        if (s != RoundedSin(a) || c != RoundedCos(a)) {
            ++mismatches;
        }
    }
    return mismatches;
}

} // namespace

TEST(SineCosine, MatchesRoundedDoubleValuesOverGameAngles) {
    // Host angles are degrees times 0.017453292: a few turns either way.
    EXPECT_EQ(CountMismatches(-40.0f, 40.0f, 400000), 0);
}

TEST(SineCosine, MatchesRoundedDoubleValuesNearZeroAndForLargeAngles) {
    EXPECT_EQ(CountMismatches(-1e-3f, 1e-3f, 20000), 0);
    EXPECT_EQ(CountMismatches(1000.0f, 5000.0f, 20000), 0);
    EXPECT_EQ(CountMismatches(-2e5f, -1e5f, 20000), 0);
}

TEST(SineCosine, ExactQuarterTurnsOfDegreeAngles) {
    float s, c;
    vor::SineCosine(0.0f, &s, &c);
    EXPECT_EQ(s, 0.0f);
    EXPECT_EQ(c, 1.0f);
    // 90 degrees in float radians lies just above pi/2: sine rounds to 1, cosine is tiny negative.
    vor::SineCosine(90.0f * 0.017453292f, &s, &c);
    EXPECT_EQ(s, 1.0f);
    EXPECT_EQ(c, RoundedCos(90.0f * 0.017453292f));
    EXPECT_LT(c, 0.0f);
    vor::SineCosine(180.0f * 0.017453292f, &s, &c);
    EXPECT_EQ(s, RoundedSin(180.0f * 0.017453292f));
    EXPECT_EQ(c, -1.0f);
}

TEST(SineCosine, NonFiniteAnglesGiveNaN) {
    float s, c;
    vor::SineCosine(INFINITY, &s, &c);
    EXPECT_TRUE(std::isnan(s) && std::isnan(c));
    vor::SineCosine(NAN, &s, &c);
    EXPECT_TRUE(std::isnan(s) && std::isnan(c));
}

TEST(SineCosine, HugeFiniteAnglesStayWithinRange) {
    float s, c;
    vor::SineCosine(3e38f, &s, &c);
    EXPECT_TRUE(std::fabs(s) <= 1.0f && std::fabs(c) <= 1.0f);
}
