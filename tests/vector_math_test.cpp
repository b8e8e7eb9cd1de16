// Unit tests of the Vec3 operations: exact results where the arithmetic is exact, the two
// tolerances of NormalizeVector on both sides, and outputs that alias their inputs.
#include <gtest/gtest.h>

#include <cmath>

#include "core/thresholds.h"
#include "math/vec3.h"

using vor::Vec3;

namespace {

void ExpectBits(const Vec3 &v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

} // namespace

TEST(VectorOperations, ComponentwiseOperationsGiveExactResults) {
    Vec3 out;
    ExpectBits(*vor::AddVectors(&out, {1, 2, 3}, {10, 20, 30}), 11, 22, 33);
    ExpectBits(*vor::SubtractVectors(&out, {1, 2, 3}, {10, 20, 30}), -9, -18, -27);
    ExpectBits(*vor::SetVector(&out, 4, -5, 6), 4, -5, 6);
    ExpectBits(*vor::NegateVector(&out, {4, -5, 0}), -4, 5, -0.0f);
    ExpectBits(*vor::ScaleVector(&out, 0.5f, {4, -5, 6}), 2, -2.5f, 3);
    EXPECT_EQ(vor::DotProduct({1, 2, 3}, {4, -5, 6}), 12.0f);
}

TEST(VectorOperations, NegateGivesNegativeZeroForZero) {
    Vec3 out;
    vor::NegateVector(&out, {0, 0, 0});
    EXPECT_TRUE(std::signbit(out.x));
    EXPECT_TRUE(std::signbit(out.y));
    EXPECT_TRUE(std::signbit(out.z));
}

TEST(VectorOperations, CrossProductOfAxesFollowsTheRightHand) {
    Vec3 out;
    ExpectBits(*vor::CrossProduct(&out, {1, 0, 0}, {0, 1, 0}), 0, 0, 1);
    ExpectBits(*vor::CrossProduct(&out, {0, 1, 0}, {0, 0, 1}), 1, 0, 0);
    ExpectBits(*vor::CrossProduct(&out, {0, 0, 1}, {1, 0, 0}), 0, 1, 0);
    ExpectBits(*vor::CrossProduct(&out, {1, 2, 3}, {4, 5, 6}), -3, 6, -3);
}

TEST(VectorOperations, EveryOperationReturnsItsOutput) {
    Vec3 out;
    EXPECT_EQ(vor::AddVectors(&out, {1, 1, 1}, {1, 1, 1}), &out);
    EXPECT_EQ(vor::SubtractVectors(&out, {1, 1, 1}, {1, 1, 1}), &out);
    EXPECT_EQ(vor::SetVector(&out, 1, 1, 1), &out);
    EXPECT_EQ(vor::NegateVector(&out, out), &out);
    EXPECT_EQ(vor::ScaleVector(&out, 2, out), &out);
    EXPECT_EQ(vor::CrossProduct(&out, out, {1, 0, 0}), &out);
    EXPECT_EQ(vor::NormalizeVector(&out, out), &out);
}

TEST(VectorOperations, CrossProductIntoItsOwnInputReadsBothFirst) {
    Vec3 u{1, 2, 3};
    Vec3 v{4, 5, 6};
    vor::CrossProduct(&u, u, v);
    ExpectBits(u, -3, 6, -3);
    Vec3 w{1, 2, 3};
    Vec3 z{4, 5, 6};
    vor::CrossProduct(&z, w, z);
    ExpectBits(z, -3, 6, -3);
    Vec3 self{1, 2, 3};
    vor::CrossProduct(&self, self, self);
    ExpectBits(self, 0, 0, 0);
}

TEST(VectorOperations, AddSubtractAndScaleInPlace) {
    Vec3 a{1, 2, 3};
    vor::AddVectors(&a, a, a);
    ExpectBits(a, 2, 4, 6);
    vor::SubtractVectors(&a, {10, 10, 10}, a);
    ExpectBits(a, 8, 6, 4);
    vor::ScaleVector(&a, 0.25f, a);
    ExpectBits(a, 2, 1.5f, 1);
}

TEST(NormalizeVector, ThreeFourFiveGivesExactFifths) {
    Vec3 out;
    ExpectBits(*vor::NormalizeVector(&out, {3, 0, 4}), 0.6f, 0.0f, 0.8f);
}

TEST(NormalizeVector, ZeroAndTinyVectorsGiveTheZeroVector) {
    Vec3 out{7, 7, 7};
    ExpectBits(*vor::NormalizeVector(&out, {0, 0, 0}), 0, 0, 0);
    out = {7, 7, 7};
    ExpectBits(*vor::NormalizeVector(&out, {1e-6f, 0, 0}), 0, 0, 0);
}

TEST(NormalizeVector, SquaredLengthExactlyAtTheTinyBoundIsZeroedJustAboveIsScaled) {
    // sqrt of kTinySquaredLength as a float, nudged until its square lands on either side.
    float x = std::sqrt(vor::kTinySquaredLength);
    while (x * x > vor::kTinySquaredLength) {
        x = std::nextafter(x, 0.0f);
    }
    Vec3 out;
    ExpectBits(*vor::NormalizeVector(&out, {x, 0, 0}), 0, 0, 0);
    float above = std::nextafter(x, 1.0f);
    while (above * above <= vor::kTinySquaredLength) {
        above = std::nextafter(above, 1.0f);
    }
    vor::NormalizeVector(&out, {above, 0, 0});
    // 1/sqrt rounds twice in float: within two units in the last place of 1.
    EXPECT_NEAR(out.x, 1.0f, 2.5e-7f);
    EXPECT_EQ(out.y, 0.0f);
}

TEST(NormalizeVector, NearlyUnitVectorIsReturnedUnchanged) {
    Vec3 out;
    ExpectBits(*vor::NormalizeVector(&out, {1.000004f, 0, 0}), 1.000004f, 0, 0);
    ExpectBits(*vor::NormalizeVector(&out, {0, 0.999996f, 0}), 0, 0.999996f, 0);
}

TEST(NormalizeVector, JustOutsideTheUnitToleranceIsRescaled) {
    // 1.000006^2 - 1 is about 1.2e-5, past the 1e-5 tolerance.
    Vec3 out;
    vor::NormalizeVector(&out, {1.000006f, 0, 0});
    EXPECT_NE(out.x, 1.000006f);
    EXPECT_NEAR(out.x, 1.0f, 2.5e-7f); // float rounding of 1/sqrt(s) and the product
}

TEST(NormalizeVector, LastLengthInsideTheToleranceIsKeptAndTheNextIsRescaled) {
    // Walk floats away from 1, classifying each with the documented test on s = x*x, and check
    // the neighbours on both sides of each bound.
    for (float direction : {2.0f, 0.0f}) {
        float lastInside = 1.0f;
        float firstOutside = 1.0f;
        for (float x = 1.0f;; x = std::nextafter(x, direction)) {
            const float off = x * x - 1.0f;
            if (off > vor::kUnitTolerance || off < -vor::kUnitTolerance) {
                firstOutside = x;
                break;
            }
            lastInside = x;
        }
        Vec3 out;
        ExpectBits(*vor::NormalizeVector(&out, {0, lastInside, 0}), 0, lastInside, 0);
        vor::NormalizeVector(&out, {0, firstOutside, 0});
        EXPECT_NE(out.y, firstOutside);
        EXPECT_NEAR(out.y, 1.0f, 2.5e-7f); // 1/sqrt(s) and the product each round once
    }
}

TEST(NormalizeVector, SquaredLengthIsSummedYThenZThenX) {
    // Two vectors found by search whose squared length, summed y*y + z*z + x*x in float, lies on
    // the other side of the unit tolerance than the sum x*x + y*y + z*z would.
    const Vec3 insideOnlyInThisOrder{0x1.31cea8p-1f, 0x1.c7e3cp-3f, 0x1.8a8116p-1f};
    const Vec3 outsideOnlyInThisOrder{0x1.29b89ap-1f, 0x1.ef0d42p-2f, 0x1.4f039ep-1f};
    const auto inside = [](float s) {
        return s - 1.0f >= -vor::kUnitTolerance && s - 1.0f <= vor::kUnitTolerance;
    };
    for (const Vec3 &v : {insideOnlyInThisOrder, outsideOnlyInThisOrder}) {
        const float xx = v.x * v.x, yy = v.y * v.y, zz = v.z * v.z;
        ASSERT_NE(inside(yy + zz + xx), inside(xx + yy + zz)); // the orders really disagree
    }
    Vec3 out;
    vor::NormalizeVector(&out, insideOnlyInThisOrder);
    ExpectBits(out, insideOnlyInThisOrder.x, insideOnlyInThisOrder.y, insideOnlyInThisOrder.z);
    vor::NormalizeVector(&out, outsideOnlyInThisOrder);
    EXPECT_NE(out.x, outsideOnlyInThisOrder.x);
}

TEST(NormalizeVector, InPlaceReadsTheWholeVectorBeforeWriting) {
    Vec3 v{0, 3, 4};
    vor::NormalizeVector(&v, v);
    ExpectBits(v, 0, 0.6f, 0.8f);
    Vec3 w{3, 4, 0};
    vor::NormalizeVector(&w, w);
    ExpectBits(w, 0.6f, 0.8f, 0);
}
