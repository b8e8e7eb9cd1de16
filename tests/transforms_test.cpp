// The body transform update through the exports: gravity on the pending height, the meaning of
// the low byte of the update flag, the sweep flag, scale in percent, the rotation convention and
// the read-back of positions and angles. Matrices and Pass.sweepNeeded are read from the internals,
// which no export shows.
#include "support/test_support.h"

#include <cmath>

#include "body/registry.h"
#include "core/module_state.h"
#include "math/matrix4.h"

namespace {

// A matrix no update could produce, to see whether an update rewrote it.
vor::Matrix4 Sentinel() {
    vor::Matrix4 m;
    for (int i = 0; i < 16; ++i) {
        m.m[i] = 1000.0f + static_cast<float>(i);
    }
    return m;
}

// Element by element as floats (a rebuilt zero may carry either sign).
bool SameMatrix(const vor::Matrix4 &a, const vor::Matrix4 &b) {
    for (int i = 0; i < 16; ++i) {
        if (a.m[i] != b.m[i]) {
            return false;
        }
    }
    return true;
}

// A direction carried by the rotation part of the world matrix (the body stands at the origin).
vor::Vec3 Turn(uint32_t n, vor::Vec3 direction) {
    return vor::Transform(direction, BodyOf(n)->worldMatrix);
}

} // namespace

class Transforms : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        NewCollObjVOR(1, 0);
        vor::Pass.sweepNeeded = 0;
    }
};

// ---- Gravity and the pending position ---------------------------------------------------

TEST_F(Transforms, GravityLowersThePendingHeightOnEveryFlagZeroUpdate) {
    SetObjGravityVOR(1, 2);
    SetObjPosVOR(0, 10, 0);
    UpdateObjVOR(1, 0);
    EXPECT_EQ(BodyOf(1)->newPosition.y, 8.0f);
    EXPECT_EQ(Y(1), 8.0f); // no pass yet: the resolved position is the new one
    UpdateObjVOR(1, 0);
    EXPECT_EQ(BodyOf(1)->newPosition.y, 6.0f);
    EXPECT_EQ(BodyOf(1)->previousPosition.y, 8.0f);
}

TEST_F(Transforms, PlacingAppliesNoGravityAndIsSeenAtOnce) {
    SetObjGravityVOR(1, 2);
    SetObjPosVOR(0, 10, 0);
    UpdateObjVOR(1, 1);
    EXPECT_EQ(X(1), 0.0f);
    EXPECT_EQ(Y(1), 10.0f);
    EXPECT_EQ(Z(1), 0.0f);
    UpdateObjVOR(1, 1);
    EXPECT_EQ(Y(1), 10.0f);
}

TEST_F(Transforms, OtherFlagsApplyNoGravity) {
    SetObjGravityVOR(1, 2);
    SetObjPosVOR(0, 10, 0);
    UpdateObjVOR(1, 2);
    EXPECT_EQ(BodyOf(1)->newPosition.y, 10.0f);
    UpdateObjVOR(1, -1);
    EXPECT_EQ(BodyOf(1)->newPosition.y, 10.0f);
}

TEST_F(Transforms, OnlyTheLowByteOfTheFlagCounts) {
    SetObjGravityVOR(1, 2);
    SetObjPosVOR(0, 10, 0);
    UpdateObjVOR(1, 0x100); // low byte 0: gravity
    EXPECT_EQ(BodyOf(1)->newPosition.y, 8.0f);
    SetObjPosVOR(0, 10, 0);
    UpdateObjVOR(1, 0x201); // low byte 1: placing, no gravity, previous = new
    EXPECT_EQ(BodyOf(1)->newPosition.y, 10.0f);
    EXPECT_EQ(BodyOf(1)->previousPosition.y, 10.0f);
}

TEST_F(Transforms, PendingPoseIsSharedByAllObjects) {
    NewCollObjVOR(2, 0);
    SetObjPosVOR(1, 2, 3);
    SetObjRotVOR(10, 20, 30);
    UpdateObjVOR(1, 1);
    UpdateObjVOR(2, 1);
    EXPECT_EQ(Z(2), 3.0f);
    EXPECT_EQ(F(PeekObjRoll(2)), 30.0f);
}

// ---- Previous and new pose ---------------------------------------------------------------

TEST_F(Transforms, FlagZeroKeepsTheOldPoseAsThePreviousOne) {
    SetObjPosVOR(1, 2, 3);
    SetObjRotVOR(10, 20, 30);
    SetObjScaleVOR(1, 200, 200, 200);
    UpdateObjVOR(1, 1);
    SetObjPosVOR(4, 5, 6);
    SetObjRotVOR(40, 50, 60);
    SetObjScaleVOR(1, 50, 50, 50);
    UpdateObjVOR(1, 0);
    const vor::CollisionBody *b = BodyOf(1);
    EXPECT_EQ(b->previousPosition.x, 1.0f);
    EXPECT_EQ(b->previousRotation.y, 20.0f);
    EXPECT_EQ(b->previousScale.z, 2.0f);
    EXPECT_EQ(b->newPosition.x, 4.0f);
    EXPECT_EQ(b->newRotation.y, 50.0f);
    EXPECT_EQ(b->newScale.z, 0.5f);
}

TEST_F(Transforms, PlacingMakesThePreviousPoseTheNewOne) {
    SetObjPosVOR(1, 2, 3);
    UpdateObjVOR(1, 0);
    SetObjPosVOR(4, 5, 6);
    SetObjRotVOR(40, 50, 60);
    UpdateObjVOR(1, 1);
    const vor::CollisionBody *b = BodyOf(1);
    EXPECT_EQ(b->previousPosition.x, 4.0f);
    EXPECT_EQ(b->previousPosition.z, 6.0f);
    EXPECT_EQ(b->previousRotation.x, 40.0f);
    EXPECT_EQ(b->previousRotation.z, 60.0f);
}

TEST_F(Transforms, PeekAnglesReturnTheNewRotationInDegrees) {
    SetObjRotVOR(12.5f, -90, 370);
    UpdateObjVOR(1, 0);
    EXPECT_EQ(F(PeekObjPitch(1)), 12.5f);
    EXPECT_EQ(F(PeekObjYaw(1)), -90.0f);
    EXPECT_EQ(F(PeekObjRoll(1)), 370.0f);
}

// ---- The sweep flag and the world matrix ---------------------------------------------------

TEST_F(Transforms, FlagZeroWithAChangedPositionRaisesTheSweepFlag) {
    MoveTo(1, 0, 0, 1);
    EXPECT_EQ(vor::Pass.sweepNeeded, 1);
}

TEST_F(Transforms, FlagZeroWithAChangedAngleOrScaleRaisesTheSweepFlag) {
    SetObjRotVOR(0, 1, 0);
    UpdateObjVOR(1, 0);
    EXPECT_EQ(vor::Pass.sweepNeeded, 1);
    vor::Pass.sweepNeeded = 0;
    SetObjScaleVOR(1, 100, 100, 101);
    UpdateObjVOR(1, 0);
    EXPECT_EQ(vor::Pass.sweepNeeded, 1);
}

TEST_F(Transforms, FlagZeroRepeatingThePoseChangesNothing) {
    Place(1, 1, 2, 3);
    vor::Pass.sweepNeeded = 0;
    BodyOf(1)->worldMatrix = Sentinel();
    MoveTo(1, 1, 2, 3);
    EXPECT_EQ(vor::Pass.sweepNeeded, 0);
    EXPECT_TRUE(SameMatrix(BodyOf(1)->worldMatrix, Sentinel()));
}

TEST_F(Transforms, FlagZeroChangingOnlyByNegativeZeroCountsAsUnchanged) {
    // Exact float comparison: -0 equals 0.
    Place(1, 0, 0, 0);
    vor::Pass.sweepNeeded = 0;
    MoveTo(1, -0.0f, 0, -0.0f);
    EXPECT_EQ(vor::Pass.sweepNeeded, 0);
}

TEST_F(Transforms, FlagOneNeverRaisesTheSweepFlag) {
    Place(1, 5, 6, 7);
    EXPECT_EQ(vor::Pass.sweepNeeded, 0);
}

TEST_F(Transforms, FlagOneRebuildsEveryMatrix) {
    BodyOf(1)->worldMatrix = Sentinel();
    BodyOf(1)->scaleMatrix = Sentinel();
    BodyOf(1)->rotationMatrix = Sentinel();
    BodyOf(1)->translationMatrix = Sentinel();
    UpdateObjVOR(1, 1); // same pose as at creation
    vor::Matrix4 identity;
    vor::MakeIdentity(&identity);
    EXPECT_TRUE(SameMatrix(BodyOf(1)->scaleMatrix, identity));
    EXPECT_TRUE(SameMatrix(BodyOf(1)->rotationMatrix, identity));
    EXPECT_TRUE(SameMatrix(BodyOf(1)->translationMatrix, identity));
    EXPECT_TRUE(SameMatrix(BodyOf(1)->worldMatrix, identity));
}

TEST_F(Transforms, FlagTwoMovesWithoutRaisingTheSweepFlag) {
    SetObjPosVOR(3, 0, 0);
    UpdateObjVOR(1, 2);
    EXPECT_EQ(vor::Pass.sweepNeeded, 0);
    EXPECT_EQ(BodyOf(1)->newPosition.x, 3.0f);
    EXPECT_EQ(BodyOf(1)->previousPosition.x, 0.0f); // the motion is still recorded
    EXPECT_EQ(BodyOf(1)->worldMatrix.m[12], 3.0f);
}

TEST_F(Transforms, FlagTwoRecomposesTheWorldMatrixEvenWhenNothingChanged) {
    Place(1, 1, 2, 3);
    BodyOf(1)->worldMatrix = Sentinel();
    SetObjPosVOR(1, 2, 3);
    UpdateObjVOR(1, 2);
    EXPECT_EQ(BodyOf(1)->worldMatrix.m[12], 1.0f);
    EXPECT_EQ(BodyOf(1)->worldMatrix.m[13], 2.0f);
    EXPECT_EQ(BodyOf(1)->worldMatrix.m[14], 3.0f);
    EXPECT_EQ(BodyOf(1)->worldMatrix.m[0], 1.0f);
}

TEST_F(Transforms, FlagZeroRebuildsOnlyTheChangedFactor) {
    Place(1, 1, 2, 3);
    BodyOf(1)->rotationMatrix = Sentinel();
    BodyOf(1)->scaleMatrix = Sentinel();
    MoveTo(1, 4, 2, 3);
    EXPECT_TRUE(SameMatrix(BodyOf(1)->rotationMatrix, Sentinel()));
    EXPECT_TRUE(SameMatrix(BodyOf(1)->scaleMatrix, Sentinel()));
    EXPECT_EQ(BodyOf(1)->translationMatrix.m[12], 4.0f);
}

TEST_F(Transforms, WorldMatrixScalesThenRotatesThenTranslates) {
    SetObjScaleVOR(1, 200, 100, 100);
    SetObjPosVOR(10, 0, 0);
    SetObjRotVOR(0, 90, 0);
    UpdateObjVOR(1, 1);
    // Local (1, 0, 0): scaled to (2, 0, 0), turned by yaw 90 to (0, 0, -2), moved by (10, 0, 0).
    const vor::Vec3 p = vor::Transform({1, 0, 0}, BodyOf(1)->worldMatrix);
    EXPECT_NEAR(p.x, 10.0f, 1e-5f); // 2 * cos of the float quarter turn, added to 10
    EXPECT_EQ(p.y, 0.0f);
    EXPECT_EQ(p.z, -2.0f);
}

// ---- Scale -------------------------------------------------------------------------------

TEST_F(Transforms, ScaleInPercentReachesTheBodyAtTheNextUpdate) {
    SetObjScaleVOR(1, 200, 100, 50);
    EXPECT_EQ(BodyOf(1)->newScale.x, 1.0f);
    EXPECT_EQ(BodyOf(1)->newScale.z, 1.0f);
    UpdateObjVOR(1, 0);
    EXPECT_EQ(BodyOf(1)->newScale.x, 2.0f);
    EXPECT_EQ(BodyOf(1)->newScale.y, 1.0f);
    EXPECT_EQ(BodyOf(1)->newScale.z, 0.5f);
    EXPECT_EQ(BodyOf(1)->scaleMatrix.m[0], 2.0f);
    EXPECT_EQ(BodyOf(1)->scaleMatrix.m[10], 0.5f);
}

TEST_F(Transforms, ScaleFactorIsThePercentTimesTheFloatHundredth) {
    SetObjScaleVOR(1, 37, 1, 333);
    UpdateObjVOR(1, 0);
    EXPECT_EQ(BodyOf(1)->newScale.x, 37.0f * 0.01f);
    EXPECT_EQ(BodyOf(1)->newScale.z, 333.0f * 0.01f);
}

TEST_F(Transforms, ZeroScaleGivesInfiniteInverseElementsWithoutHarm) {
    SetObjScaleVOR(1, 0, 100, 100);
    UpdateObjVOR(1, 1);
    EXPECT_TRUE(std::isinf(BodyOf(1)->inversePrevious.m[0]));
    EXPECT_EQ(BodyOf(1)->worldMatrix.m[0], 0.0f);
}

// ---- Rotation convention -----------------------------------------------------------------

TEST_F(Transforms, PitchNinetyTurnsUpOntoPlusZ) {
    SetObjRotVOR(90, 0, 0);
    UpdateObjVOR(1, 1);
    const vor::Vec3 d = Turn(1, {0, 1, 0});
    // cos of 90 * 0.017453292 in float is about 4e-8, not 0.
    EXPECT_NEAR(d.x, 0.0f, 1e-6f);
    EXPECT_NEAR(d.y, 0.0f, 1e-6f);
    EXPECT_NEAR(d.z, 1.0f, 1e-6f);
}

TEST_F(Transforms, YawNinetyTurnsPlusXOntoMinusZ) {
    SetObjRotVOR(0, 90, 0);
    UpdateObjVOR(1, 1);
    const vor::Vec3 d = Turn(1, {1, 0, 0});
    EXPECT_NEAR(d.x, 0.0f, 1e-6f); // float cos of the quarter turn
    EXPECT_NEAR(d.y, 0.0f, 1e-6f);
    EXPECT_NEAR(d.z, -1.0f, 1e-6f);
}

TEST_F(Transforms, PitchAppliesBeforeYaw) {
    SetObjRotVOR(90, 90, 0);
    UpdateObjVOR(1, 1);
    const vor::Vec3 d = Turn(1, {0, 1, 0});
    EXPECT_NEAR(d.x, 1.0f, 1e-6f); // float cos of the quarter turn, twice
    EXPECT_NEAR(d.y, 0.0f, 1e-6f);
    EXPECT_NEAR(d.z, 0.0f, 1e-6f);
}

TEST_F(Transforms, RollNinetyTurnsPlusXOntoPlusY) {
    SetObjRotVOR(0, 0, 90);
    UpdateObjVOR(1, 1);
    const vor::Vec3 d = Turn(1, {1, 0, 0});
    EXPECT_NEAR(d.x, 0.0f, 1e-6f); // float cos of the quarter turn
    EXPECT_NEAR(d.y, 1.0f, 1e-6f);
    EXPECT_NEAR(d.z, 0.0f, 1e-6f);
}

TEST_F(Transforms, RotationMatrixIsBuiltFromFloatRadians) {
    SetObjRotVOR(30, 0, 0);
    UpdateObjVOR(1, 1);
    const float a = 30.0f * 0.017453292f;
    EXPECT_EQ(BodyOf(1)->rotationMatrix.m[5], static_cast<float>(std::cos(static_cast<double>(a))));
    EXPECT_EQ(BodyOf(1)->rotationMatrix.m[6], static_cast<float>(std::sin(static_cast<double>(a))));
}

TEST_F(Transforms, InversePreviousUndoesThePreviousPose) {
    SetObjScaleVOR(1, 200, 50, 400);
    SetObjPosVOR(3, -4, 5);
    SetObjRotVOR(20, -35, 50);
    UpdateObjVOR(1, 1);
    const vor::Matrix4 previousWorld = BodyOf(1)->worldMatrix;
    SetObjPosVOR(9, 9, 9);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(1, 0);
    // A local point taken to the world by the previous pose and back by inversePrevious.
    const vor::Vec3 local{0.5f, -1.5f, 2.0f};
    const vor::Vec3 world = vor::Transform(local, previousWorld);
    const vor::Vec3 back = vor::Transform(world, BodyOf(1)->inversePrevious);
    // Two chains of float products over coordinates of a few units: a few 1e-6.
    EXPECT_NEAR(back.x, local.x, 1e-5f);
    EXPECT_NEAR(back.y, local.y, 1e-5f);
    EXPECT_NEAR(back.z, local.z, 1e-5f);
}

// ---- Resolved position after a pass ------------------------------------------------------

TEST_F(Transforms, FlagZeroLeavesThePeekedPositionUntilTheNextPass) {
    Place(1, 1, 0, 0);
    RunCollisionVOR();
    MoveTo(1, 5, 0, 0);
    EXPECT_EQ(X(1), 1.0f); // the last pass's record still ends at 1
    RunCollisionVOR();
    EXPECT_EQ(X(1), 5.0f);
}

TEST_F(Transforms, FlagOneDropsTheLastPassAndIsSeenAtOnce) {
    Place(1, 1, 0, 0);
    RunCollisionVOR();
    ASSERT_NE(BodyOf(1)->currentMotion.head, nullptr);
    Place(1, 7, 0, 0);
    EXPECT_EQ(BodyOf(1)->currentMotion.head, nullptr);
    EXPECT_EQ(X(1), 7.0f);
}

TEST_F(Transforms, TheNextSweepStartsWhereTheLastPassLeftTheBody) {
    Place(1, 1, 0, 0);
    RunCollisionVOR();
    MoveTo(1, 5, 0, 0);
    MoveTo(1, 6, 0, 0); // a second update before the pass: still starts at the resolved 1
    EXPECT_EQ(BodyOf(1)->previousPosition.x, 1.0f);
}

// ---- Bad object numbers --------------------------------------------------------------------

TEST_F(Transforms, PeeksOfNumbersOutOfRangeAnswerZeroAfterTheReport) {
    Arm();
    EXPECT_EQ(PeekObjXVOR(0), 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 0");
    EXPECT_EQ(log.captions[0], "Collision Error");
    Arm();
    EXPECT_EQ(PeekObjXVOR(5001), 0);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[1], "Object number out of range for collision system: 5001");
}

TEST_F(Transforms, EveryPeekOfAnUndefinedObjectAnswersZero) {
    Place(1, 3, 4, 5);
    FreeObjVOR(1);
    using Peek = int32_t (*)(uint32_t);
    for (Peek peek :
         {PeekObjXVOR, PeekObjYVOR, PeekObjZVOR, PeekObjPitch, PeekObjYaw, PeekObjRoll}) {
        Arm();
        EXPECT_EQ(peek(1), 0);
        ASSERT_FALSE(log.texts.empty());
        EXPECT_EQ(log.texts.back(), "Object not defined in collision system: 1");
    }
    EXPECT_EQ(log.texts.size(), 6u);
}

// A rejected peek answers the very bits of a real +0.0: only the error report tells them apart.
TEST_F(Transforms, ARejectedPeekCannotBeToldFromARealZeroButIsReported) {
    Place(1, 0, 0, 0);
    Arm();
    const int32_t real = PeekObjXVOR(1);
    EXPECT_TRUE(log.texts.empty());
    const int32_t rejected = PeekObjXVOR(2);
    EXPECT_EQ(real, rejected);
    EXPECT_EQ(rejected, 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object not defined in collision system: 2");
}

// The position read back is the body's; an ellipsoid's offset moves its centre, not the position.
TEST_F(Transforms, ThePeekedPositionIsTheBodysNotTheEllipsoidCentre) {
    MakeEllipsoid(2, 1, 0.25f, 0.45f, 0.25f);
    SetEllipOffsetVOR(2, 0, 0.45f, 0);
    NewCollObjVOR(3, 2);
    AddObjShapeVOR(3, 2);
    AddMeshTri(3, -10, 0, -10, -10, 0, 10, 10, 0, -10); // a floor at y 0, facing up
    Place(3, 0, 0, 0);
    ActivateObjVOR(3);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    Place(2, -5, 1, -5);
    SetObjGravityVOR(2, 0.5f);
    for (int frame = 0; frame < 4; ++frame) {
        MoveTo(2, -5, Y(2), -5);
        RunCollisionVOR();
    }
    EXPECT_NEAR(Y(2), 0.0f, 1e-4f); // the feet on the floor; the centre is 0.45 above
    ASSERT_GE(CountCollisionsVOR(2), 1);
    EXPECT_NEAR(F(CollisionHitPos(2, 1, 2)), 0.0f, 1e-4f);
}

TEST_F(Transforms, RejectedUpdatesAndScalesChangeNothing) {
    SetObjGravityVOR(1, 2);
    SetObjPosVOR(0, 10, 0);
    Arm();
    UpdateObjVOR(2, 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object not defined in collision system: 2");
    Arm();
    SetObjScaleVOR(4294967295u, 200, 200, 200);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[1], "Object number out of range for collision system: 4294967295");
    // The pending y was not lowered by the rejected update.
    UpdateObjVOR(1, 0);
    EXPECT_EQ(Y(1), 8.0f);
    EXPECT_EQ(BodyOf(1)->newScale.x, 1.0f);
    EXPECT_EQ(vor::Pass.sweepNeeded, 1);
}
