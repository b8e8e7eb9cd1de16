// The shared triangle tests on their own: the bounds cube and the grown triangle box with their
// strict bounds, the point-in-triangle border rule and the two edge helpers. No export reaches
// them directly, so they are driven on plain records.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "core/records.h"
#include "math/matrix4.h"
#include "mesh/triangle_tests.h"

namespace {

using vor::Vec3;

struct BoundsScene {
    vor::MeshShape mesh{};
    vor::CollisionBody body{};
    BoundsScene(Vec3 position, Vec3 scale) {
        mesh.boundsMax = Vec3{2, 1, 1};
        mesh.boundsMin = Vec3{-1, -1, -1};
        body.newPosition = position;
        vor::MakeScaling(&body.scaleMatrix, scale.x, scale.y, scale.z);
        vor::MakeIdentity(&body.worldMatrix);
    }
    // Segment given relative to the body's position.
    bool Test(Vec3 s, Vec3 e, Vec3 radii = Vec3{1, 1, 1}) {
        const Vec3 p = body.newPosition;
        return vor::MeshBoundsTest(&mesh, Vec3{s.x + p.x, s.y + p.y, s.z + p.z},
                                   Vec3{e.x + p.x, e.y + p.y, e.z + p.z}, &body, radii);
    }
};

TEST(MeshBoundsTest, SegmentBeyondTheCubeFaceOnBothEndsIsRejected) {
    BoundsScene scene(Vec3{10, 20, 30}, Vec3{1, 1, 1});
    // m = 2: 3.5 - 1 > 2 at both ends.
    EXPECT_FALSE(scene.Test(Vec3{3.5f, 0, 0}, Vec3{3.5f, 5, 0}));
    EXPECT_TRUE(scene.Test(Vec3{2.5f, 0, 0}, Vec3{4, 0, 0}));
}

TEST(MeshBoundsTest, CubeIsSymmetricAroundThePositionWhateverTheNegativeBounds) {
    BoundsScene scene(Vec3{10, 20, 30}, Vec3{1, 1, 1});
    // boundsMin.x is only -1, but the cube reaches to -2 on every axis.
    EXPECT_TRUE(scene.Test(Vec3{-2.5f, 0, 0}, Vec3{-2.5f, 0, 5}));
    EXPECT_FALSE(scene.Test(Vec3{-3.5f, 0, 0}, Vec3{-3.5f, 0, 5}));
    EXPECT_TRUE(scene.Test(Vec3{0, 2.5f, 0}, Vec3{5, 2.5f, 0}));
    EXPECT_FALSE(scene.Test(Vec3{0, 0, -3.5f}, Vec3{0, 5, -3.5f}));
}

TEST(MeshBoundsTest, EndExactlyOnTheGrownFaceIsNotRejected) {
    BoundsScene scene(Vec3{0, 0, 0}, Vec3{1, 1, 1});
    EXPECT_TRUE(scene.Test(Vec3{3, 0, 0}, Vec3{3, 5, 0}));
    EXPECT_TRUE(scene.Test(Vec3{0, -3, 0}, Vec3{5, -3, 0}));
}

TEST(MeshBoundsTest, ScaleWidensTheCube) {
    BoundsScene scene(Vec3{0, 0, 0}, Vec3{2, 1, 1});
    // m = 4 now.
    EXPECT_TRUE(scene.Test(Vec3{3.5f, 0, 0}, Vec3{3.5f, 5, 0}));
    EXPECT_TRUE(scene.Test(Vec3{0, 5, 0}, Vec3{5, 5, 0}));
    EXPECT_FALSE(scene.Test(Vec3{0, 5.5f, 0}, Vec3{5, 5.5f, 0}));
}

TEST(MeshBoundsTest, SmallRadiusGrowsTheCubeOnEveryAxis) {
    BoundsScene scene(Vec3{0, 0, 0}, Vec3{1, 1, 1});
    // radii (0.5, 1, 1): the x bound becomes 4 and m = 4 applies on y as well.
    EXPECT_FALSE(scene.Test(Vec3{0, 3.5f, 0}, Vec3{5, 3.5f, 0}));
    EXPECT_TRUE(scene.Test(Vec3{0, 3.5f, 0}, Vec3{5, 3.5f, 0}, Vec3{0.5f, 1, 1}));
}

TEST(MeshBoundsTest, RotationOfTheBodyIsIgnored) {
    BoundsScene scene(Vec3{0, 0, 0}, Vec3{1, 1, 1});
    vor::MakeRotationY(&scene.body.rotationMatrix, 0.785398f);
    vor::MakeRotationY(&scene.body.worldMatrix, 0.785398f);
    EXPECT_FALSE(scene.Test(Vec3{3.5f, 0, 0}, Vec3{3.5f, 5, 0}));
}

struct BoxCase {
    Vec3 s, e;
    bool expected;
};

TEST(TriangleBoxTest, RejectsOnlyWhenBothEndsLieStrictlyBeyondOneGrownFace) {
    const Vec3 t1{0, 0, 0}, t2{1, 0, 0}, t3{0, 1, 0}; // box (0,0,0)..(1,1,0), grown by 1
    const BoxCase cases[] = {
        {{2.5f, 0, 0}, {3, 0, 0}, false},          // beyond +x
        {{2, 0, 0}, {3, 0, 0}, true},              // one end on the grown +x face
        {{0, 0, -1.5f}, {1, 1, -3}, false},        // beyond -z
        {{0, 0, -1}, {1, 1, -3}, true},            // on the grown -z face
        {{-1.5f, 0, 0}, {-1.01f, 0.5f, 0}, false}, // beyond -x
        {{0, 2.5f, 0}, {0.5f, 2.01f, 0}, false},   // beyond +y
        {{0.5f, 0.5f, 3}, {0.5f, 0.5f, -3}, true}, // through the box
    };
    for (const BoxCase &c : cases) {
        EXPECT_EQ(vor::TriangleBoxTest(c.s, c.e, t1, t2, t3), c.expected)
            << c.s.x << "," << c.s.y << "," << c.s.z;
    }
}

TEST(TriangleBoxTest, SegmentPastTheCornerBeyondDifferentFacesIsNotRejected) {
    const Vec3 t1{0, 0, 0}, t2{1, 0, 0}, t3{0, 1, 0};
    // (10, 0) is beyond +x only, (0, 10) beyond +y only; the segment misses the grown box.
    EXPECT_TRUE(vor::TriangleBoxTest(Vec3{10, 0, 0}, Vec3{0, 10, 0}, t1, t2, t3));
}

TEST(PointInTriangle, InsideAndBorderPointsCountAsInside) {
    const Vec3 t1{0, 0, 0}, t2{2, 0, 0}, t3{0, 2, 0}, n{0, 0, 1};
    EXPECT_TRUE(vor::PointInTriangle(Vec3{0.5f, 0.5f, 0}, n, t1, t2, t3));
    EXPECT_TRUE(vor::PointInTriangle(Vec3{1, 0, 0}, n, t1, t2, t3)); // on edge 1-2
    EXPECT_TRUE(vor::PointInTriangle(Vec3{1, 1, 0}, n, t1, t2, t3)); // on edge 2-3
    EXPECT_TRUE(vor::PointInTriangle(Vec3{0, 1, 0}, n, t1, t2, t3)); // on edge 3-1
    EXPECT_TRUE(vor::PointInTriangle(t1, n, t1, t2, t3));
    EXPECT_TRUE(vor::PointInTriangle(t2, n, t1, t2, t3));
    EXPECT_TRUE(vor::PointInTriangle(t3, n, t1, t2, t3));
}

TEST(PointInTriangle, PointsOutsideAnyEdgeAreOutside) {
    const Vec3 t1{0, 0, 0}, t2{2, 0, 0}, t3{0, 2, 0}, n{0, 0, 1};
    EXPECT_FALSE(vor::PointInTriangle(Vec3{1, -0.01f, 0}, n, t1, t2, t3));
    EXPECT_FALSE(vor::PointInTriangle(Vec3{1.01f, 1.01f, 0}, n, t1, t2, t3));
    EXPECT_FALSE(vor::PointInTriangle(Vec3{-0.01f, 1, 0}, n, t1, t2, t3));
    EXPECT_FALSE(vor::PointInTriangle(Vec3{3, 3, 0}, n, t1, t2, t3));
}

TEST(PointInTriangle, PointAboveThePlaneIsJudgedByItsProjection) {
    const Vec3 t1{0, 0, 0}, t2{2, 0, 0}, t3{0, 2, 0}, n{0, 0, 1};
    EXPECT_TRUE(vor::PointInTriangle(Vec3{0.5f, 0.5f, 7}, n, t1, t2, t3));
    EXPECT_FALSE(vor::PointInTriangle(Vec3{2, 2, 7}, n, t1, t2, t3));
}

TEST(ClosestPointOnLine, LineIsUnboundedOnBothSides) {
    const Vec3 a{0, 0, 0}, b{2, 0, 0};
    Vec3 p = vor::ClosestPointOnLine(a, b, Vec3{5, 3, 1});
    EXPECT_EQ(p.x, 5.0f);
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(p.z, 0.0f);
    p = vor::ClosestPointOnLine(a, b, Vec3{-1, 2, 0});
    EXPECT_EQ(p.x, -1.0f);
    p = vor::ClosestPointOnLine(Vec3{1, 1, 1}, Vec3{1, 5, 1}, Vec3{4, 3, 9});
    EXPECT_EQ(p.x, 1.0f);
    EXPECT_EQ(p.y, 3.0f);
    EXPECT_EQ(p.z, 1.0f);
}

TEST(EdgeInteriorTest, BothEndsAreExcluded) {
    const Vec3 a{0, 0, 0}, b{2, 0, 0};
    EXPECT_TRUE(vor::EdgeInteriorTest(a, b, Vec3{1, 5, 0}));
    EXPECT_TRUE(vor::EdgeInteriorTest(a, b, Vec3{0.001f, -3, 2}));
    EXPECT_FALSE(vor::EdgeInteriorTest(a, b, Vec3{0, 1, 0})); // projects onto A
    EXPECT_FALSE(vor::EdgeInteriorTest(a, b, Vec3{2, 1, 0})); // projects onto B
    EXPECT_FALSE(vor::EdgeInteriorTest(a, b, Vec3{-0.5f, 0, 0}));
    EXPECT_FALSE(vor::EdgeInteriorTest(a, b, Vec3{2.5f, 0, 0}));
}

TEST(EdgeInteriorTest, EdgeOfZeroLengthContainsNothing) {
    const Vec3 a{1, 1, 1};
    EXPECT_FALSE(vor::EdgeInteriorTest(a, a, Vec3{1, 2, 1}));
    EXPECT_FALSE(vor::EdgeInteriorTest(a, a, a));
}

// The ordered box test answers as GrownBoxMeets for every box of a point grown by a margin,
// with faces on, just past and short of the box's sides, and NaN and infinite values among them.
TEST(GrownBoxMeetsOrdered, AnswersAsTheGeneralTestForBoxesOfAPointAndAMargin) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::mt19937 random(7);
    std::uniform_real_distribution<float> spread(-3.0f, 3.0f);
    std::uniform_int_distribution<int> pick(0, 9);
    const float margins[] = {0.0f, 0.01f, 0.5f};
    // A face near `side` (one of the box's sides): on it, a step either way, or elsewhere.
    const auto face = [&](float side) {
        switch (pick(random)) {
        case 0:
            return side;
        case 1:
            return std::nextafter(side, inf);
        case 2:
            return std::nextafter(side, -inf);
        case 3:
            return nan;
        case 4:
            return pick(random) < 5 ? inf : -inf;
        default:
            return spread(random);
        }
    };
    uint32_t met = 0, missed = 0;
    for (int trial = 0; trial < 200000; ++trial) {
        Vec3 c{spread(random), spread(random), spread(random)};
        if (pick(random) == 0) {
            c.y = pick(random) < 5 ? nan : inf;
        }
        const float m = margins[trial % 3];
        const Vec3 lo{c.x - m, c.y - m, c.z - m}, hi{c.x + m, c.y + m, c.z + m};
        vor::GrownBox box;
        const float lows[3] = {lo.x, lo.y, lo.z}, highs[3] = {hi.x, hi.y, hi.z};
        for (int a = 0; a < 3; ++a) {
            box.below[a] = face(pick(random) < 5 ? highs[a] : lows[a]);
            box.above[a] = face(pick(random) < 5 ? lows[a] : highs[a]);
        }
        const bool general = vor::GrownBoxMeets(box, lo, hi);
        ASSERT_EQ(vor::GrownBoxMeetsOrdered(box, vor::MakeOrderedBox(lo, hi)), general)
            << "trial " << trial;
        (general ? met : missed) += 1;
    }
    // Both answers came up often enough for the comparison to mean something.
    EXPECT_GT(met, 10000u);
    EXPECT_GT(missed, 10000u);
}

} // namespace
