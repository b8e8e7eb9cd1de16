// Scenes of several frames through the exports, as a host drives them: a body that stops, one
// that slides along another, two that meet head on, ties decided by list order, report-only
// contacts, and the order of mesh and ellipsoid definitions within an iteration.
#include <cmath>

#include "support/pass_test_support.h"

namespace {

class PassScenarioTest : public PassInternalsTest {
  protected:
    float Distance(uint32_t a, uint32_t b) {
        float dx = X(a) - X(b), dy = Y(a) - Y(b), dz = Z(a) - Z(b);
        return std::sqrt(dx * dx + dy * dy + dz * dz);
    }
};

TEST_F(PassScenarioTest, ABodyThatStopsStaysTouchingFrameAfterFrame) {
    MakeEllipsoid(1, 1);
    MakeEllipsoid(2, 2);
    Place(2, 3, 0, 0);
    SetCollisionsVOR(1, 2, 1, 1, 1);
    for (int frame = 0; frame < 4; ++frame) {
        MoveTo(1, 4, 0, 0);
        RunCollisionVOR();
        EXPECT_EQ(X(1), 1.0f) << "frame " << frame;
        EXPECT_EQ(Y(1), 0.0f);
        ASSERT_EQ(CountCollisionsVOR(1), 1);
        EXPECT_EQ(CollisionHitObj(1, 1), 2);
        EXPECT_EQ(CollisionHitType(1, 1), 2);
        EXPECT_EQ(F(CollisionHitPos(1, 1, 1)), 2.0f);
        EXPECT_EQ(F(CollisionHitNorm(1, 1, 1)), -1.0f);
        EXPECT_EQ(CountCollisionsVOR(2), 0);
    }
}

TEST_F(PassScenarioTest, ABodySlidesAlongAnotherWithoutEverEndingInsideIt) {
    MakeEllipsoid(1, 1);
    MakeEllipsoid(2, 2);
    Place(1, -5, 0.5f, 0);
    SetCollisionsVOR(1, 2, 1, 2, 1);
    int touched = 0;
    for (int frame = 1; frame <= 10; ++frame) {
        float wantX = X(1) + 1.0f;
        MoveTo(1, wantX, Y(1), 0);
        RunCollisionVOR();
        touched += CountCollisionsVOR(1) > 0 ? 1 : 0;
        // Float rounding of the contact time can leave the centres a hair closer than 2.
        EXPECT_GE(Distance(1, 2), 2.0f - 1e-4f) << "frame " << frame;
        EXPECT_LE(X(1), wantX);
    }
    EXPECT_GT(touched, 0);
    EXPECT_GT(X(1), 0.0f); // it got past the obstacle's centre by sliding over it
    EXPECT_EQ(X(2), 0.0f);
}

TEST_F(PassScenarioTest, TwoBodiesMeetingHeadOnBothStopTouching) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    Place(2, 6, 0, 0);
    SetCollisionsVOR(0, 0, 1, 1, 1);
    MoveTo(1, 4, 0, 0);
    MoveTo(2, 2, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(X(1), 2.0f);
    EXPECT_EQ(X(2), 4.0f);
    ASSERT_EQ(CountCollisionsVOR(1), 1);
    ASSERT_EQ(CountCollisionsVOR(2), 1);
    EXPECT_EQ(CollisionHitObj(1, 1), 2);
    EXPECT_EQ(CollisionHitObj(2, 1), 1);
    EXPECT_EQ(F(CollisionHitPos(1, 1, 1)), 3.0f);
    EXPECT_EQ(F(CollisionHitPos(2, 1, 1)), 3.0f);
}

TEST_F(PassScenarioTest, AmongEquallyNearBodiesTheFirstActivatedIsHit) {
    for (bool reversed : {false, true}) {
        StopCollisionVOR();
        NewCollObjVOR(1, 1);
        AddObjShapeVOR(1, 1);
        ActivateObjVOR(1);
        for (uint32_t n : {2u, 3u}) {
            NewCollObjVOR(n, 2);
            AddObjShapeVOR(n, 1);
        }
        ActivateObjVOR(reversed ? 3 : 2);
        ActivateObjVOR(reversed ? 2 : 3);
        Place(2, 3, 0.5f, 0);
        Place(3, 3, -0.5f, 0);
        SetCollisionsVOR(1, 2, 1, 1, 1);
        MoveTo(1, 4, 0, 0);
        RunCollisionVOR();
        ASSERT_EQ(CountCollisionsVOR(1), 1);
        EXPECT_EQ(CollisionHitObj(1, 1), reversed ? 3 : 2);
    }
}

TEST_F(PassScenarioTest, ACrowdOfEqualBodiesConvergingEndsAndStaysApart) {
    // Eight bodies on a ring all head for the centre and stop at their first contact.
    const int count = 8;
    for (int i = 0; i < count; ++i) {
        MakeEllipsoid(i + 1, 0);
        float a = 6.2831853f * static_cast<float>(i) / count;
        Place(i + 1, 6 * std::cos(a), 0, 6 * std::sin(a));
    }
    SetCollisionsVOR(0, 0, 1, 1, 1);
    for (int frame = 0; frame < 5; ++frame) {
        for (int i = 0; i < count; ++i) {
            float x = X(i + 1), z = Z(i + 1);
            MoveTo(i + 1, x * 0.5f, 0, z * 0.5f);
        }
        RunCollisionVOR();
    }
    int contacts = 0;
    for (int i = 0; i < count; ++i) {
        contacts += CountCollisionsVOR(i + 1);
        EXPECT_GE(std::sqrt(X(i + 1) * X(i + 1) + Z(i + 1) * Z(i + 1)), 1.0f);
    }
    EXPECT_GT(contacts, 0);
}

TEST_F(PassScenarioTest, ReportOnlyContactsCountWithoutStoppingTheBody) {
    MakeEllipsoid(1, 1);
    MakeEllipsoid(2, 2);
    Place(1, -4, 0, 0);
    SetCollisionsVOR(1, 2, 1, 5, 1);
    const int expected[] = {1, 1, 0, 0}; // touch at the end, overlap approaching, then leaving
    for (int frame = 0; frame < 4; ++frame) {
        float target = -2.0f + 2.0f * frame;
        MoveTo(1, target, 0, 0);
        RunCollisionVOR();
        EXPECT_EQ(X(1), target);
        EXPECT_EQ(CountCollisionsVOR(1), expected[frame]) << "frame " << frame;
        if (expected[frame] == 1) {
            EXPECT_EQ(CollisionHitObj(1, 1), 2);
        }
    }
}

TEST_F(PassScenarioTest, AReportOnlyContactBeforeAStopIsOneMoreCollision) {
    MakeEllipsoid(1, 1);
    MakeEllipsoid(2, 2);
    MakeEllipsoid(3, 3);
    Place(2, 2, 0, 0);
    Place(3, 6, 0, 0);
    SetCollisionsVOR(1, 3, 1, 1, 1);
    SetCollisionsVOR(1, 2, 1, 5, 1);
    MoveTo(1, 8, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(X(1), 4.0f);
    ASSERT_EQ(CountCollisionsVOR(1), 2);
    EXPECT_EQ(CollisionHitObj(1, 1), 2);
    EXPECT_EQ(CollisionHitObj(1, 2), 3);
}

// A floor triangle facing up, under object 9 (type 9).
class MeshOrderTest : public PassScenarioTest {
  protected:
    void SetUp() override {
        PassScenarioTest::SetUp();
        NewCollObjVOR(9, 9);
        AddObjShapeVOR(9, 2);
        AddMeshTri(9, -10, 0, -10, 0, 0, 10, 10, 0, -10);
        Place(9, 0, 0, 0);
        ActivateObjVOR(9);
    }
};

TEST_F(MeshOrderTest, MeshDefinitionsAreSweptFirstWhateverTheirOrder) {
    MakeEllipsoid(1, 1);
    MakeEllipsoid(2, 2);
    Place(1, 0, 5, 0);
    Place(2, 0, 2, 0);
    SetCollisionsVOR(1, 2, 1, 1, 1); // ellipsoids first in the list
    SetCollisionsVOR(1, 9, 2, 1, 1);
    MoveTo(1, 0, -1, 0);
    RunCollisionVOR();
    auto records = Records(Body(1));
    ASSERT_FALSE(records.empty());
    vor::MotionRecord *first = records[0];
    ASSERT_EQ(ContactCount(first), 2u);
    const vor::ContactRecord *mesh = vor::ListHead<vor::ContactRecord>(first->contacts);
    EXPECT_EQ(mesh->phase, 1);
    EXPECT_EQ(mesh->kind, 2);
    EXPECT_EQ(first->nearest->phase, 2);
    EXPECT_EQ(first->nearest->otherBody, Body(2));
    EXPECT_EQ(Y(1), 4.0f);
    EXPECT_EQ(CollisionHitShape(1, 1), 1);
}

TEST_F(MeshOrderTest, AFallingBodyStandsOnTheFloor) {
    MakeEllipsoid(1, 1);
    Place(1, 0, 3, 0);
    SetCollisionsVOR(1, 9, 2, 3, 1);
    MoveTo(1, 0, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(Y(1), 1.0f);
    ASSERT_EQ(CountCollisionsVOR(1), 1);
    EXPECT_EQ(CollisionHitShape(1, 1), 2);
    EXPECT_EQ(CollisionHitPoly(1, 1), 1);
    EXPECT_EQ(CollisionHitObj(1, 1), 9);
    EXPECT_EQ(F(CollisionHitNorm(1, 1, 2)), 1.0f);
    EXPECT_EQ(F(CollisionTriCorner(1, 1, 2, 3)), 10.0f);
}

} // namespace
