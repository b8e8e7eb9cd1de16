// Unit tests of the Matrix4 operations: every builder's sixteen elements, point transforms with
// and without the w division, and products whose output aliases an input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "math/matrix4.h"

using vor::Matrix4;
using vor::Vec3;

namespace {

constexpr float kPi = 3.14159265f;

Matrix4 FromRows(std::initializer_list<float> values) {
    Matrix4 m;
    int i = 0;
    for (float v : values) {
        m.m[i++] = v;
    }
    return m;
}

// A general matrix with no zero element and a non-affine fourth column.
Matrix4 SampleA() {
    return FromRows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
}
Matrix4 SampleB() {
    return FromRows({-1, 0.5f, 2, 3, 4, -2, 1, 0.25f, 3, 3, -3, 1, 2, 1, 0, -1});
}

// The product written out straight from the definition, into separate storage.
Matrix4 Reference(const Matrix4 &a, const Matrix4 &b) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.m[4 * i + j] = a.m[4 * i] * b.m[j] + a.m[4 * i + 1] * b.m[4 + j] +
                             a.m[4 * i + 2] * b.m[8 + j] + a.m[4 * i + 3] * b.m[12 + j];
        }
    }
    return r;
}

void ExpectSame(const Matrix4 &got, const Matrix4 &want) {
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(got.m[i], want.m[i]) << "element " << i;
    }
}

// Every element overwritten: the builders must not rely on zeroed storage.
Matrix4 Garbage() {
    Matrix4 m;
    for (float &e : m.m) {
        e = 123.0f;
    }
    return m;
}

} // namespace

TEST(MatrixBuilders, IdentityScalingAndTranslationFillAllSixteenElements) {
    Matrix4 m = Garbage();
    ExpectSame(*vor::MakeIdentity(&m), FromRows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    m = Garbage();
    ExpectSame(*vor::MakeScaling(&m, 2, 3, 4),
               FromRows({2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 1}));
    m = Garbage();
    ExpectSame(*vor::MakeTranslation(&m, 5, 6, 7),
               FromRows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 5, 6, 7, 1}));
}

TEST(MatrixBuilders, RotationsPlaceSineAndCosineAsDocumented) {
    const float a = 0.3f;
    // The library rounds double-precision values of the pair to float.
    const float s = static_cast<float>(std::sin(static_cast<double>(a)));
    const float c = static_cast<float>(std::cos(static_cast<double>(a)));
    Matrix4 m = Garbage();
    ExpectSame(*vor::MakeRotationX(&m, a),
               FromRows({1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1}));
    m = Garbage();
    ExpectSame(*vor::MakeRotationY(&m, a),
               FromRows({c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1}));
    m = Garbage();
    ExpectSame(*vor::MakeRotationZ(&m, a),
               FromRows({c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
}

TEST(MatrixBuilders, EveryBuilderReturnsItsOutput) {
    Matrix4 m;
    EXPECT_EQ(vor::MakeIdentity(&m), &m);
    EXPECT_EQ(vor::MakeScaling(&m, 1, 1, 1), &m);
    EXPECT_EQ(vor::MakeTranslation(&m, 1, 1, 1), &m);
    EXPECT_EQ(vor::MakeRotationX(&m, 1), &m);
    EXPECT_EQ(vor::MakeRotationY(&m, 1), &m);
    EXPECT_EQ(vor::MakeRotationZ(&m, 1), &m);
    EXPECT_EQ(vor::MultiplyMatrices(&m, m, m), &m);
    Vec3 v;
    EXPECT_EQ(vor::TransformPoint(&v, {1, 1, 1}, m), &v);
}

TEST(TransformPoint, TranslationMovesThePointExactly) {
    Matrix4 t;
    vor::MakeTranslation(&t, 10, 20, 30);
    Vec3 out;
    vor::TransformPoint(&out, {1, 2, 3}, t);
    EXPECT_EQ(out.x, 11.0f);
    EXPECT_EQ(out.y, 22.0f);
    EXPECT_EQ(out.z, 33.0f);
}

TEST(TransformPoint, QuarterTurnAboutYMapsXOntoMinusZ) {
    Matrix4 r;
    vor::MakeRotationY(&r, kPi / 2);
    Vec3 out;
    vor::TransformPoint(&out, {1, 2, 3}, r);
    // cos of the float nearest pi/2 is about -4.4e-8, so terms of 3 * cos remain.
    EXPECT_NEAR(out.x, 3.0f, 1e-6f);
    EXPECT_EQ(out.y, 2.0f);
    EXPECT_NEAR(out.z, -1.0f, 1e-6f);
}

TEST(TransformPoint, RowsAreSummedInOrderXThenYThenZThenTranslation) {
    // 1e8 + 1 - 1e8 cancels differently depending on the order of the sum.
    Matrix4 m = FromRows({1e8f, 0, 0, 0, 1, 0, 0, 0, -1e8f, 0, 0, 0, 0, 0, 0, 1});
    Vec3 out;
    vor::TransformPoint(&out, {1, 1, 1}, m);
    EXPECT_EQ(out.x, (1e8f + 1.0f) + -1e8f);
}

TEST(TransformPoint, WOfTwoHalvesThePoint) {
    Matrix4 m;
    vor::MakeTranslation(&m, 0, 0, 0);
    m.m[15] = 2.0f;
    Vec3 out;
    vor::TransformPoint(&out, {4, 6, -8}, m);
    EXPECT_EQ(out.x, 2.0f);
    EXPECT_EQ(out.y, 3.0f);
    EXPECT_EQ(out.z, -4.0f);
}

TEST(TransformPoint, WWithinTheToleranceOfOneDoesNotDivide) {
    Matrix4 m;
    vor::MakeIdentity(&m);
    m.m[15] = 1.000005f;
    Vec3 out;
    vor::TransformPoint(&out, {4, 6, -8}, m);
    EXPECT_EQ(out.x, 4.0f);
    EXPECT_EQ(out.y, 6.0f);
    EXPECT_EQ(out.z, -8.0f);
    m.m[15] = 0.999995f;
    vor::TransformPoint(&out, {4, 6, -8}, m);
    EXPECT_EQ(out.x, 4.0f);
}

TEST(TransformPoint, WJustPastTheToleranceDivides) {
    Matrix4 m;
    vor::MakeIdentity(&m);
    m.m[15] = 1.00002f;
    Vec3 out;
    vor::TransformPoint(&out, {4, 6, -8}, m);
    EXPECT_EQ(out.x, 4.0f * (1.0f / 1.00002f));
    EXPECT_NE(out.x, 4.0f);
}

TEST(TransformPoint, WIsTakenFromTheFourthColumn) {
    // w = x*m03 + y*m13 + z*m23 + m33 = 1*0.5 + 0 + 0 + 1.5 = 2.
    Matrix4 m;
    vor::MakeIdentity(&m);
    m.m[3] = 0.5f;
    m.m[15] = 1.5f;
    Vec3 out;
    vor::TransformPoint(&out, {1, 0, 0}, m);
    EXPECT_EQ(out.x, 0.5f);
}

TEST(TransformPoint, InPlaceReadsTheWholePointFirst) {
    Matrix4 r;
    vor::MakeRotationZ(&r, kPi / 2);
    Vec3 v{1, 0, 0};
    vor::TransformPoint(&v, v, r);
    // A z quarter turn takes x onto y; y must not see the already-written x.
    EXPECT_NEAR(v.x, 0.0f, 1e-7f); // cos of float pi/2
    EXPECT_EQ(v.y, 1.0f);
    EXPECT_EQ(v.z, 0.0f);
}

TEST(MultiplyMatrices, SeparateOutputMatchesTheDefinition) {
    Matrix4 out;
    vor::MultiplyMatrices(&out, SampleA(), SampleB());
    ExpectSame(out, Reference(SampleA(), SampleB()));
}

TEST(MultiplyMatrices, OutputAliasingTheLeftFactorGivesTheSameProduct) {
    Matrix4 a = SampleA();
    const Matrix4 b = SampleB();
    vor::MultiplyMatrices(&a, a, b);
    ExpectSame(a, Reference(SampleA(), SampleB()));
}

TEST(MultiplyMatrices, OutputAliasingTheRightFactorGivesTheSameProduct) {
    const Matrix4 a = SampleA();
    Matrix4 b = SampleB();
    vor::MultiplyMatrices(&b, a, b);
    ExpectSame(b, Reference(SampleA(), SampleB()));
}

TEST(MultiplyMatrices, SquaringInPlaceGivesTheSquare) {
    Matrix4 m = SampleB();
    vor::MultiplyMatrices(&m, m, m);
    ExpectSame(m, Reference(SampleB(), SampleB()));
}

TEST(MultiplyMatrices, TheLeftFactorIsAppliedFirst) {
    // Translate then rotate: the translated point is turned about the origin.
    Matrix4 t;
    Matrix4 r;
    Matrix4 tr;
    vor::MakeTranslation(&t, 1, 0, 0);
    vor::MakeRotationZ(&r, kPi / 2);
    vor::MultiplyMatrices(&tr, t, r);
    Vec3 out;
    vor::TransformPoint(&out, {0, 0, 0}, tr);
    EXPECT_NEAR(out.x, 0.0f, 1e-7f); // cos of float pi/2
    EXPECT_EQ(out.y, 1.0f);
}

TEST(MultiplyMatrices, RotationTimesItsOppositeIsTheIdentityUpToRounding) {
    Matrix4 product;
    Matrix4 back;
    for (float a : {0.3f, 1.0f, -2.5f, 3.0f}) {
        vor::MakeRotationX(&product, a);
        vor::MultiplyMatrices(&product, product, *vor::MakeRotationX(&back, -a));
        Matrix4 identity;
        vor::MakeIdentity(&identity);
        for (int i = 0; i < 16; ++i) {
            // c*c + s*s rounded in float: a few units in the last place of 1.
            EXPECT_NEAR(product.m[i], identity.m[i], 3e-7f) << "angle " << a << " element " << i;
        }
    }
}
