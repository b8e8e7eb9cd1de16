// Direction-to-angle conversions through the exports Vec2Yaw and Vec2Pitch: the axis directions,
// the zero-vector cases, sign independence and the clamp of a cosine just past 1.
#include "support/test_support.h"

#include <cmath>

using DirectionAngles = HostTest;

TEST_F(DirectionAngles, YawOfTheAxesIsZeroNinetyAndOneEighty) {
    EXPECT_EQ(F(Vec2Yaw(0, 0, 1)), 0.0f);
    EXPECT_EQ(F(Vec2Yaw(1, 0, 0)), 90.0f);
    EXPECT_EQ(F(Vec2Yaw(-1, 0, 0)), 90.0f);
    EXPECT_EQ(F(Vec2Yaw(0, 0, -1)), 180.0f);
}

TEST_F(DirectionAngles, YawIgnoresHeightAndTheSignOfX) {
    EXPECT_EQ(F(Vec2Yaw(-1, 5, 1)), 45.0f);
    EXPECT_EQ(F(Vec2Yaw(1, 0, 1)), 45.0f);
    EXPECT_EQ(F(Vec2Yaw(1, -100, 1)), 45.0f);
}

TEST_F(DirectionAngles, YawOfAStraightUpDirectionIsNinety) {
    // The horizontal part normalises to the zero vector, whose z is 0.
    EXPECT_EQ(F(Vec2Yaw(0, 7, 0)), 90.0f);
    EXPECT_EQ(F(Vec2Yaw(0, 0, 0)), 90.0f);
}

TEST_F(DirectionAngles, YawOfALongVectorIsNormalisedFirst) {
    EXPECT_EQ(F(Vec2Yaw(0, 0, 250)), 0.0f);
    EXPECT_EQ(F(Vec2Yaw(-250, 0, 0)), 90.0f);
}

TEST_F(DirectionAngles, PitchIsFortyFiveUpOrDown) {
    EXPECT_EQ(F(Vec2Pitch(1, 1, 0)), 45.0f);
    EXPECT_EQ(F(Vec2Pitch(1, -1, 0)), 45.0f);
}

TEST_F(DirectionAngles, PitchOfAHorizontalDirectionIsZero) {
    // d and h are both (0.6, 0, 0.8): their float dot product rounds to exactly 1.
    EXPECT_EQ(F(Vec2Pitch(3, 0, 4)), 0.0f);
    EXPECT_EQ(F(Vec2Pitch(0, 0, -2)), 0.0f);
}

TEST_F(DirectionAngles, PitchOfAVerticalOrZeroDirectionIsNinety) {
    EXPECT_EQ(F(Vec2Pitch(0, 1, 0)), 90.0f);
    EXPECT_EQ(F(Vec2Pitch(0, -3, 0)), 90.0f);
    EXPECT_EQ(F(Vec2Pitch(0, 0, 0)), 90.0f);
}

TEST_F(DirectionAngles, CosineJustPastOneIsClampedToZeroDegrees) {
    // (0, 0, 1.000004) is within the unit tolerance, so it is used unchanged and its z reaches
    // the arc cosine as 1.000004: clamped, not NaN.
    EXPECT_EQ(F(Vec2Yaw(0, 0, 1.000004f)), 0.0f);
    EXPECT_EQ(F(Vec2Pitch(0, 0, 1.000004f)), 0.0f);
}

TEST_F(DirectionAngles, CosineJustPastMinusOneIsClampedToOneEighty) {
    EXPECT_EQ(F(Vec2Yaw(0, 0, -1.000004f)), 180.0f);
}

TEST_F(DirectionAngles, ResultIsTheFloatArcCosineTimesTheFloatFactor) {
    // A general direction, derived here with the documented steps: h = (0.6, 0, 0.8).
    const float expected = static_cast<float>(std::acos(static_cast<double>(0.8f))) * 57.295776f;
    EXPECT_EQ(F(Vec2Yaw(3, 0, 4)), expected);
    EXPECT_EQ(F(Vec2Yaw(-3, 9, 4)), expected);
}

TEST_F(DirectionAngles, ConversionsTouchNoStateAndReportNothing) {
    Arm();
    Vec2Yaw(1, 2, 3);
    Vec2Pitch(1, 2, 3);
    EXPECT_TRUE(log.texts.empty());
}
