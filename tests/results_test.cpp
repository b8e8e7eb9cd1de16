// The collision stack and the contact queries, through the exports: the walk over the active
// objects, contact counts, every query of a contact with its selectors, and the index errors.
#include "support/pass_test_support.h"

namespace {

class CollisionStackTest : public HostTest {
  protected:
    std::vector<int32_t> Walk() {
        std::vector<int32_t> seen;
        for (int i = 0; i < 10; ++i) {
            int32_t n = PeekCollisionStackVOR();
            seen.push_back(n);
            if (n == 0) {
                break;
            }
        }
        return seen;
    }
};

TEST_F(CollisionStackTest, WithNoActiveObjectThePeekAnswersZero) {
    NewCollObjVOR(1, 0);
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
}

TEST_F(CollisionStackTest, TheWalkFollowsActivationOrderAndReactivationMovesToTheEnd) {
    NewCollObjVOR(5, 0);
    NewCollObjVOR(9, 0);
    ActivateObjVOR(5);
    ActivateObjVOR(9);
    ActivateObjVOR(5);
    ResetCollisionStackVOR();
    EXPECT_EQ(Walk(), (std::vector<int32_t>{9, 5, 0}));
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
    ResetCollisionStackVOR();
    EXPECT_EQ(Walk(), (std::vector<int32_t>{9, 5, 0}));
}

TEST_F(CollisionStackTest, RemovingTheObjectUnderTheCursorMovesTheCursorOn) {
    for (uint32_t n : {1u, 2u, 3u, 4u}) {
        MakeEllipsoid(n, 0);
    }
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
    DeActivateObjVOR(2);
    EXPECT_EQ(PeekCollisionStackVOR(), 3);
    FreeObjVOR(4);
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
}

TEST_F(CollisionStackTest, StopClearsTheCursor) {
    MakeEllipsoid(1, 0);
    ResetCollisionStackVOR();
    StopCollisionVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
}

TEST_F(CollisionStackTest, APassDoesNotMoveTheCursor) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
    RunCollisionVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 2);
}

// A scene with two contacts for object 1: a report-only pass through object 2, then a stop at
// object 3. Contact 1 is the report (set aside before the step), contact 2 the stop.
class ContactQueryTest : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        MakeEllipsoid(1, 1);
        MakeEllipsoid(2, 2);
        MakeEllipsoid(3, 3);
        Place(2, 2, 0, 0);
        Place(3, 6, 0, 0);
        SetCollisionsVOR(1, 2, 1, 5, 1);
        SetCollisionsVOR(1, 3, 1, 1, 1);
        MoveTo(1, 8, 0, 0);
        RunCollisionVOR();
    }
};

TEST_F(ContactQueryTest, IndexesAnswerTheContactsInTheOrderOfTheSteps) {
    ASSERT_EQ(CountCollisionsVOR(1), 2);
    EXPECT_EQ(CollisionHitObj(1, 1), 2);
    EXPECT_EQ(CollisionHitType(1, 1), 2);
    EXPECT_EQ(CollisionHitObj(1, 2), 3);
    EXPECT_EQ(CollisionHitType(1, 2), 3);
    EXPECT_EQ(F(CollisionHitPos(1, 2, 1)), 5.0f);
    EXPECT_EQ(F(CollisionHitPos(1, 2, 2)), 0.0f);
    EXPECT_EQ(F(CollisionHitNorm(1, 2, 1)), -1.0f);
    EXPECT_EQ(F(CollisionHitPos(1, 1, 1)), 1.0f); // touched at once: point midway at x 1
    EXPECT_TRUE(log.texts.empty());
}

TEST_F(ContactQueryTest, AnEllipsoidContactHasShapeOneAndNoTriangle) {
    EXPECT_EQ(CollisionHitShape(1, 2), 1);
    EXPECT_EQ(CollisionHitPoly(1, 2), 0);
    EXPECT_EQ(CollisionTriCorner(1, 2, 1, 1), 0);
}

TEST_F(ContactQueryTest, AnIndexBeyondTheLastContactIsReported) {
    Arm();
    EXPECT_EQ(CollisionHitObj(1, 3), 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Collision index out of range: 3");
    EXPECT_EQ(log.captions[0], "Collision Error");
}

TEST_F(ContactQueryTest, IndexZeroIsReported) {
    Arm();
    EXPECT_EQ(CollisionHitPos(1, 0, 1), 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Collision index out of range: 0");
}

TEST_F(ContactQueryTest, AHugeIndexIsReportedWithItsValue) {
    Arm();
    EXPECT_EQ(CollisionHitShape(1, 4000000000u), 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Collision index out of range: 4000000000");
}

TEST_F(ContactQueryTest, SelectorsOutsideOneToThreeAnswerZeroSilently) {
    Arm();
    EXPECT_EQ(CollisionHitPos(1, 2, 0), 0);
    EXPECT_EQ(CollisionHitPos(1, 2, 4), 0);
    EXPECT_EQ(CollisionHitNorm(1, 2, -1), 0);
    EXPECT_TRUE(log.texts.empty());
}

TEST_F(ContactQueryTest, ABadObjectIsReportedOnceAndAnswersZero) {
    Arm();
    EXPECT_EQ(CountCollisionsVOR(0), 0);
    EXPECT_EQ(CollisionHitObj(77, 1), 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 0");
    Arm();
    EXPECT_EQ(CollisionHitPos(77, 1, 1), 0);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[1], "Object not defined in collision system: 77");
}

TEST_F(ContactQueryTest, AFreedBodyIsNeverReadAgain) {
    FreeObjVOR(3);
    EXPECT_EQ(CollisionHitObj(1, 2), 0);
    EXPECT_EQ(CollisionHitType(1, 2), 0);
    // A new object in the freed number is not the body that was hit.
    MakeEllipsoid(3, 3);
    EXPECT_EQ(CollisionHitObj(1, 2), 0);
    EXPECT_EQ(F(CollisionHitPos(1, 2, 1)), 5.0f); // the rest of the contact stays
}

TEST_F(ContactQueryTest, ADeactivatedObjectHasNoContacts) {
    DeActivateObjVOR(1);
    EXPECT_EQ(CountCollisionsVOR(1), 0);
    EXPECT_EQ(X(1), 8.0f);
}

TEST_F(ContactQueryTest, APassWithNothingMovedLeavesNoContacts) {
    RunCollisionVOR();
    EXPECT_EQ(CountCollisionsVOR(1), 0);
}

TEST_F(ContactQueryTest, NothingIsCountedBeforeAnyPass) {
    StopCollisionVOR();
    MakeEllipsoid(1, 1);
    EXPECT_EQ(CountCollisionsVOR(1), 0);
}

// A mesh contact built by hand on the latest step of object 1, read through the exports.
class MeshContactQueryTest : public PassInternalsTest {};

TEST_F(MeshContactQueryTest, AMeshContactAnswersItsTriangleAndCorners) {
    MakeEllipsoid(1, 0);
    NewCollObjVOR(2, 6);
    vor::MotionRecord *m = Step(Body(1), {0, 0, 0}, {1, 0, 0});
    vor::ContactRecord *c = Contact(Def(2, 1), 0.5f, {1, 2, 3}, {0, 1, 0}, Body(2));
    c->polygon = 4;
    c->corner1 = vor::Vec3{1, 2, 3};
    c->corner2 = vor::Vec3{4, 5, 6};
    c->corner3 = vor::Vec3{7, 8, 9};
    vor::AddContact(m, c);
    Step(Body(1), {1, 0, 0}, {1, 0, 0});

    ASSERT_EQ(CountCollisionsVOR(1), 1);
    EXPECT_EQ(CollisionHitShape(1, 1), 2);
    EXPECT_EQ(CollisionHitPoly(1, 1), 4);
    EXPECT_EQ(CollisionHitObj(1, 1), 2);
    EXPECT_EQ(CollisionHitType(1, 1), 6);
    EXPECT_EQ(F(CollisionHitNorm(1, 1, 2)), 1.0f);
    float expected = 1;
    for (int32_t corner = 1; corner <= 3; ++corner) {
        for (int32_t axis = 1; axis <= 3; ++axis) {
            EXPECT_EQ(F(CollisionTriCorner(1, 1, corner, axis)), expected);
            expected += 1;
        }
    }
    EXPECT_EQ(CollisionTriCorner(1, 1, 0, 1), 0);
    EXPECT_EQ(CollisionTriCorner(1, 1, 4, 1), 0);
    EXPECT_EQ(CollisionTriCorner(1, 1, 1, 4), 0);
    // The last step has no contact: index 2 is out of range.
    Arm();
    EXPECT_EQ(CollisionHitPoly(1, 2), 0);
    EXPECT_EQ(log.texts, (std::vector<std::string>{"Collision index out of range: 2"}));
}

} // namespace
