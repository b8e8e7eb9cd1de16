// Ellipsoid against ellipsoid: the worked contacts of both tests, the size modes, the rejections
// of the sweep, and the swept-box pre-test. Steps are built by hand so that each case states
// exactly where both bodies move; the sweep is then called as the pass would call it.
#include "math/swept_boxes.h"
#include "pass/ellipsoid_sweep.h"

#include <limits>
#include <random>

#include "core/settings.h"
#include "core/thresholds.h"
#include "support/pass_test_support.h"

using vor::ContactRecord;
using vor::MotionRecord;
using vor::Vec3;

namespace {

class EllipsoidSweepTest : public PassInternalsTest {
  protected:
    void SetUp() override {
        PassInternalsTest::SetUp();
        MakeEllipsoid(1, 0);
        MakeEllipsoid(2, 0);
        def = Def(1, 2);
    }
    // Gives body n one step and answers it.
    MotionRecord *Move(uint32_t n, Vec3 start, Vec3 end) { return Step(Body(n), start, end); }
    void Sweep() { vor::SweepEllipsoidPair(def, Ellipsoid(1), Ellipsoid(2)); }
    vor::CollisionDefinition *def = nullptr;
};

TEST_F(EllipsoidSweepTest, AMovingSphereTouchesAStandingOneAQuarterAlong) {
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 0, 0});
    Move(2, {3, 0, 0}, {3, 0, 0});
    Sweep();
    ASSERT_NE(a->nearest, nullptr);
    const ContactRecord *c = a->nearest;
    EXPECT_EQ(c->time, 0.25);
    EXPECT_EQ(c->kind, 1);
    EXPECT_EQ(c->phase, 2);
    EXPECT_EQ(c->edgeHit, 0);
    EXPECT_EQ(c->otherBody, Body(2));
    EXPECT_EQ(c->definition, def);
    ExpectVec(c->contactCentre, 1, 0, 0);
    ExpectVec(c->contactPosition, 1, 0, 0);
    ExpectVec(c->point, 2, 0, 0);
    ExpectVec(c->normal, -1, 0, 0);
    ExpectVec(c->travel, 1, 0, 0);
    ExpectVec(c->targetPoint, 5, 0, 0);
}

TEST_F(EllipsoidSweepTest, OffsetsMoveTheCentresButNotTheBodyPositions) {
    SetEllipOffsetVOR(1, 0, 1, 0);
    SetEllipOffsetVOR(2, 0, 1, 0);
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 0, 0});
    Move(2, {3, 0, 0}, {3, 0, 0});
    Sweep();
    ASSERT_NE(a->nearest, nullptr);
    EXPECT_EQ(a->nearest->time, 0.25);
    ExpectVec(a->nearest->contactCentre, 1, 1, 0);
    ExpectVec(a->nearest->contactPosition, 1, 0, 0);
    ExpectVec(a->nearest->point, 2, 1, 0);
}

TEST_F(EllipsoidSweepTest, SizeModeZeroTakesTheSmallerRadius) {
    SetObjRadiusVOR(2, 2, 1, 1);
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 0, 0});
    Move(2, {3, 0, 0}, {3, 0, 0});
    Sweep();
    ASSERT_NE(a->nearest, nullptr);
    EXPECT_EQ(a->nearest->time, 0.25);
    ExpectVec(a->nearest->point, 2, 0, 0);
}

TEST_F(EllipsoidSweepTest, SizeModeOneTakesTheLargerRadiusAndGivesANegativeTime) {
    SetEllipSizeModeVOR(1);
    SetObjRadiusVOR(2, 2, 1, 1);
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 0, 0});
    Move(2, {3, 0, 0}, {3, 0, 0});
    Sweep();
    ASSERT_NE(a->nearest, nullptr);
    EXPECT_EQ(a->nearest->time, -0.25);
    ExpectVec(a->nearest->contactPosition, -1, 0, 0);
    ExpectVec(a->nearest->point, 1, 0, 0);
    ExpectVec(a->nearest->normal, -1, 0, 0);
}

TEST_F(EllipsoidSweepTest, TheSecondTestMeetsADestinationHeldByItsOwnContact) {
    MotionRecord *a = Move(1, {0, 0, 0}, {10, 0, 0});
    MotionRecord *b = Move(2, {6, 0, 0}, {10, 0, 0});
    // The destination was stopped halfway, with its centre at (8, 0, 0).
    ContactRecord *held = Contact(Def(1, 1), 0.5f, {9, 0, 0});
    held->contactCentre = Vec3{8, 0, 0};
    vor::AddContact(b, held);
    Sweep();
    ASSERT_NE(a->nearest, nullptr);
    EXPECT_EQ(a->nearest->time, static_cast<double>(0.6f));
    ExpectVec(a->nearest->contactPosition, 6, 0, 0);
    ExpectVec(a->nearest->point, 7, 0, 0);
    ExpectVec(a->nearest->normal, -1, 0, 0);
}

TEST_F(EllipsoidSweepTest, TheSecondTestIsSkippedWhenTheDestinationStoppedAfterTheSource) {
    // The destination crosses the source's path fast along y and was held at 0.5 right in front
    // of the source; held there, the second test would find an overlap dating back to 0.35.
    MotionRecord *a = Move(1, {0, 0, 0}, {10, 0, 0});
    MotionRecord *b = Move(2, {5.5f, 100, 0}, {5.5f, -100, 0});
    ContactRecord *held = Contact(Def(1, 1), 0.5f, {9, 0, 0});
    held->contactCentre = Vec3{5.5f, 0, 0};
    vor::AddContact(b, held);
    // The source already stops at 0.4 against something far away.
    vor::Pass.sweepPhase = 1;
    ContactRecord *own = Contact(Def(2, 2), 0.4f, {0, 50, 0});
    vor::AddContact(a, own);
    vor::Pass.sweepPhase = 2;
    Sweep();
    EXPECT_EQ(a->nearest, own);
    EXPECT_EQ(ContactCount(a), 1u);
}

TEST_F(EllipsoidSweepTest, AnEarlierContactOfTheSourceClipsTheFirstTest) {
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 0, 0});
    Move(2, {5, 0, 0}, {5, 0, 0}); // would be touched at 0.75
    vor::Pass.sweepPhase = 1;
    ContactRecord *mesh = Contact(Def(2, 2), 0.5f, {0, 50, 0});
    vor::AddContact(a, mesh);
    vor::Pass.sweepPhase = 2;
    Sweep();
    EXPECT_EQ(a->nearest, mesh);
    EXPECT_EQ(ContactCount(a), 1u);
}

TEST_F(EllipsoidSweepTest, AContactAtTheSameTimeAsTheSourcesNearestIsNotRecorded) {
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 0, 0});
    Move(2, {3, 0, 0}, {3, 0, 0}); // touched at exactly 0.25
    vor::Pass.sweepPhase = 1;
    ContactRecord *mesh = Contact(Def(2, 2), 0.25f, {0, 50, 0});
    vor::AddContact(a, mesh);
    vor::Pass.sweepPhase = 2;
    Sweep();
    EXPECT_EQ(ContactCount(a), 1u);
}

TEST_F(EllipsoidSweepTest, AStandingSourceIsNeverGivenAContact) {
    MotionRecord *a = Move(1, {0, 0, 0}, {0, 0, 0});
    Move(2, {4, 0, 0}, {0, 0, 0});
    Sweep();
    EXPECT_EQ(a->nearest, nullptr);
}

TEST_F(EllipsoidSweepTest, BodiesMovingInParallelOrStandingStillGiveNoContact) {
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 0, 0});
    Move(2, {1, 0, 0}, {5, 0, 0});
    Sweep();
    EXPECT_EQ(a->nearest, nullptr);
}

TEST_F(EllipsoidSweepTest, OverlappingBodiesMovingApartGiveNoContact) {
    MotionRecord *a = Move(1, {0, 0, 0}, {-4, 0, 0});
    Move(2, {1, 0, 0}, {1, 0, 0});
    Sweep();
    EXPECT_EQ(a->nearest, nullptr);
}

TEST_F(EllipsoidSweepTest, OverlappingBodiesApproachingGiveANegativeTimeBehindTheStart) {
    MotionRecord *a = Move(1, {0, 0, 0}, {2, 0, 0});
    Move(2, {1, 0, 0}, {1, 0, 0});
    Sweep();
    ASSERT_NE(a->nearest, nullptr);
    EXPECT_EQ(a->nearest->time, -0.5);
    ExpectVec(a->nearest->contactPosition, -1, 0, 0);
}

TEST_F(EllipsoidSweepTest, ATouchExactlyAtTheEndOfTheMotionCounts) {
    MotionRecord *a = Move(1, {0, 0, 0}, {1, 0, 0});
    Move(2, {3, 0, 0}, {3, 0, 0});
    Sweep();
    ASSERT_NE(a->nearest, nullptr);
    EXPECT_EQ(a->nearest->time, 1.0);
}

TEST_F(EllipsoidSweepTest, AGrazingTouchCounts) {
    // Relative motion (4, 0, 0) passes the destination at a distance of exactly 2; the destination
    // moves away along y, so the source still heads into the contact.
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 2, 0});
    Move(2, {1.5f, 2, 0}, {1.5f, 4, 0});
    Sweep();
    ASSERT_NE(a->nearest, nullptr);
    EXPECT_EQ(a->nearest->time, 0.375);
    ExpectVec(a->nearest->contactCentre, 1.5f, 0.75f, 0);
    ExpectVec(a->nearest->point, 1.5f, 1.75f, 0);
    ExpectVec(a->nearest->normal, 0, -1, 0);
}

TEST_F(EllipsoidSweepTest, APassJustWiderThanTwoMisses) {
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 2, 0});
    Move(2, {1.5f, 2.01f, 0}, {1.5f, 4.01f, 0});
    Sweep();
    EXPECT_EQ(a->nearest, nullptr);
}

TEST_F(EllipsoidSweepTest, AMeshDefinitionSweepsNothingHere) {
    MotionRecord *a = Move(1, {0, 0, 0}, {4, 0, 0});
    Move(2, {3, 0, 0}, {3, 0, 0});
    vor::SweepEllipsoidPair(Def(2, 2), Ellipsoid(1), Ellipsoid(2));
    EXPECT_EQ(a->nearest, nullptr);
}

// The per-axis separation pre-test, margin 2 as the sweep uses it.
TEST(SweptBoxesOverlap, SegmentsBeyondTheWidenedBoxOnOneAxisAreSeparated) {
    Vec3 b0{0, 0, 0}, b1{1, 0, 0};
    EXPECT_FALSE(vor::SweptBoxesOverlap({3.5f, 0, 0}, {4, 5, 0}, b0, b1, 2.0f));
    EXPECT_FALSE(vor::SweptBoxesOverlap({0, -3, 0}, {1, -2.5f, 0}, b0, b1, 2.0f));
    EXPECT_FALSE(vor::SweptBoxesOverlap({0, 0, 2.5f}, {0, 0, 9}, b0, b1, 2.0f));
}

TEST(SweptBoxesOverlap, TouchingBoundsAndDiagonalPassesAreNotSeparated) {
    Vec3 b0{0, 0, 0}, b1{1, 0, 0};
    EXPECT_TRUE(vor::SweptBoxesOverlap({3, 0, 0}, {4, 0, 0}, b0, b1, 2.0f));
    EXPECT_TRUE(vor::SweptBoxesOverlap({-5, -5, 0}, {5, 5, 0}, b0, b1, 2.0f));
    // One end beyond +x, the other beyond +y: no single axis separates them.
    EXPECT_TRUE(vor::SweptBoxesOverlap({4, 0, 0}, {0, 4, 0}, b0, b1, 2.0f));
}

} // namespace

// The rays' point form of the swept-box test against the general form it stands for, on random
// segments and points and on the edge values: touching the margin exactly, one end on each side,
// zeros of both signs, infinities, NaN and subnormals.
TEST(SweptBoxesTest, ThePointFormAnswersAsTheGeneralFormWithBothEndsAtThePoint) {
    const float inf = std::numeric_limits<float>::infinity();
    const float edge[] = {0.0f,    -0.0f, 1.0f,  -1.0f,
                          1.5f,    2.5f,  -2.5f, 1e-40f,
                          -1e-40f, inf,   -inf,  std::numeric_limits<float>::quiet_NaN()};
    std::mt19937 random(7);
    std::uniform_real_distribution<float> coordinate(-4.0f, 4.0f);
    std::uniform_int_distribution<size_t> pick(0, sizeof edge / sizeof edge[0] - 1);
    const auto value = [&](int k) { return k % 3 == 0 ? edge[pick(random)] : coordinate(random); };
    int apart = 0, near = 0;
    for (int k = 0; k < 200000; ++k) {
        const vor::Vec3 a0{value(k), value(k + 1), value(k + 2)};
        const vor::Vec3 a1{value(k + 1), value(k), value(k + 2)};
        const vor::Vec3 m{value(k + 2), value(k), value(k + 1)};
        const float margin = k % 5 == 0 ? 1.5f : vor::kRayEllipsoidMargin;
        const bool general = vor::SweptBoxesOverlap(a0, a1, m, m, margin);
        ASSERT_EQ(vor::SegmentNearPoint(a0, a1, m, margin), general) << "case " << k;
        (general ? near : apart) += 1;
    }
    // Both answers are common, so the comparison says something about each.
    EXPECT_GT(apart, 10000);
    EXPECT_GT(near, 10000);
}
