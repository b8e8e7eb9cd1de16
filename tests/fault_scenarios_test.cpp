// What a host does wrong, or at the wrong moment, in the middle of a scene: frees the platform a
// body rides on, frees or replaces an object that others hit in the last pass and then reads
// their contacts, deactivates bodies between an update and a pass, stops the system between the
// updates and the pass, runs passes without definitions, installs error handlers that call back
// into the library (and raise further errors), and arms the box twice. None of it may crash,
// read freed memory (the sanitizer build runs these too) or leave the module unusable.
#include <cmath>
#include <string>
#include <vector>

#include "body/registry.h"
#include "support/test_support.h"

namespace {

class FaultScenarios : public HostTest {
  protected:
    // A square floor mesh of type 2 under object n, two triangles facing up.
    void MakeFloor(uint32_t n, float half = 5.0f) {
        NewCollObjVOR(n, 2);
        AddObjShapeVOR(n, 2);
        AddMeshTri(n, -half, 0, -half, -half, 0, half, half, 0, half);
        AddMeshTri(n, -half, 0, -half, half, 0, half, half, 0, -half);
        ActivateObjVOR(n);
        Place(n, 0, 0, 0);
    }
    // One frame of a body under gravity that wants to stay where the last pass left it.
    void Hold(uint32_t n) {
        SetObjPosVOR(X(n), Y(n), Z(n));
        SetObjRotVOR(0, F(PeekObjYaw(n)), 0);
        UpdateObjVOR(n, 0);
    }
    // A rider (2, type 1) standing on a platform (1, type 2) that carries it with rotation.
    void RiderOnPlatform() {
        SetCollisionsVOR(1, 2, 2, 3, 3);
        MakeFloor(1);
        MakeEllipsoid(2, 1);
        SetObjGravityVOR(2, 0.5f);
        Place(2, 0, 1.2f, 0);
        for (int i = 0; i < 3; ++i) {
            Hold(2);
            RunCollisionVOR();
        }
        ASSERT_GT(CountCollisionsVOR(2), 0) << "the rider must be standing on the platform";
        ASSERT_EQ(CollisionHitObj(2, 1), 1);
    }
    // The platform turns by 10 degrees of yaw while the rider holds still.
    void TurnPlatformAndHold() {
        SetObjPosVOR(0, 0, 0);
        SetObjRotVOR(0, 10, 0);
        UpdateObjVOR(1, 0);
        Hold(2);
        RunCollisionVOR();
    }
    // Two ellipsoids of type 1; 2 runs into 3, which stands still.
    void Collide() {
        SetCollisionsVOR(1, 1, 1, 1, 1);
        MakeEllipsoid(2, 1);
        MakeEllipsoid(3, 1);
        Place(2, 0, 0, 0);
        Place(3, 3, 0, 0);
        MoveTo(2, 4, 0, 0);
        RunCollisionVOR();
        ASSERT_EQ(CountCollisionsVOR(2), 1);
        ASSERT_EQ(CollisionHitObj(2, 1), 3);
    }
};

// ---- platforms and contacts that outlive their bodies ----------------------------------------

TEST_F(FaultScenarios, APlatformThatKeepsItsRiderTurnsIt) {
    // The control for the next two cases: a rider that stood on the platform is carried.
    RiderOnPlatform();
    TurnPlatformAndHold();
    EXPECT_EQ(F(PeekObjYaw(2)), 10.0f);
}

// A platform whose angles stop being finite numbers: the rider's every input is finite, so its
// angles must stay finite too (the turn is not applied), frame after frame.
TEST_F(FaultScenarios, APlatformTurnThatIsNotFiniteLeavesTheRiderFiniteAngles) {
    const float huge = 3e38f;
    const std::vector<std::vector<float>> yawRuns = {
        {std::nanf("")}, {INFINITY}, {-INFINITY}, {huge, -huge}};
    for (const std::vector<float> &yaws : yawRuns) {
        StopCollisionVOR();
        RiderOnPlatform();
        for (float yaw : yaws) {
            SetObjPosVOR(0, 0, 0);
            SetObjRotVOR(0, yaw, 0);
            UpdateObjVOR(1, 0);
            Hold(2);
            RunCollisionVOR();
            EXPECT_TRUE(std::isfinite(F(PeekObjYaw(2)))) << "platform yaw " << yaw;
            EXPECT_TRUE(std::isfinite(F(PeekObjPitch(2))) && std::isfinite(F(PeekObjRoll(2))));
            EXPECT_TRUE(std::isfinite(Y(2)));
        }
    }
}

// A platform growing from scale 0 cannot carry anything (its old pose has no inverse), but it
// must still catch what falls on it, whatever its dynamic response; 1 is the control.
TEST_F(FaultScenarios, APlatformGrowingFromScaleZeroStillCatchesAFallingBody) {
    for (int32_t dynamic = 1; dynamic <= 4; ++dynamic) {
        StopCollisionVOR();
        SetCollisionsVOR(1, 2, 2, 3, static_cast<uint32_t>(dynamic));
        MakeFloor(1);
        SetObjScaleVOR(1, 0, 0, 0);
        Place(1, 0, 0, 0);
        MakeEllipsoid(2, 1);
        Place(2, 0, 2, 0);
        SetObjScaleVOR(1, 100, 100, 100);
        SetObjPosVOR(0, 0, 0);
        SetObjRotVOR(0, 0, 0);
        UpdateObjVOR(1, 0);
        MoveTo(2, 0, -2, 0);
        RunCollisionVOR();
        ASSERT_GE(CountCollisionsVOR(2), 1) << "dynamic response " << dynamic;
        EXPECT_EQ(CollisionHitObj(2, 1), 1) << "dynamic response " << dynamic;
        // Stopped on the floor (the top at y 0), not below it.
        EXPECT_GT(Y(2), 0.9f) << "dynamic response " << dynamic;
    }
}

TEST_F(FaultScenarios, FreeingThePlatformUnderARiderForgetsItInTheRidersContacts) {
    RiderOnPlatform();
    const int32_t count = CountCollisionsVOR(2);
    const int32_t pointY = CollisionHitPos(2, 1, 2);
    FreeObjVOR(1);
    vor::ValidateRegistry();
    // The contacts stay readable, but name no body any more.
    EXPECT_EQ(CountCollisionsVOR(2), count);
    for (int32_t k = 1; k <= count; ++k) {
        EXPECT_EQ(CollisionHitObj(2, k), 0);
        EXPECT_EQ(CollisionHitType(2, k), 0);
        EXPECT_EQ(CollisionHitShape(2, k), 2);
    }
    EXPECT_EQ(CollisionHitPos(2, 1, 2), pointY);
    // The rider falls freely afterwards.
    float y = Y(2);
    Hold(2);
    RunCollisionVOR();
    EXPECT_EQ(Y(2), y - 0.5f);
    EXPECT_EQ(CountCollisionsVOR(2), 0);
    EXPECT_TRUE(log.texts.empty());
}

TEST_F(FaultScenarios, APlatformReplacedUnderARiderDoesNotInheritTheRider) {
    // The new platform may well be given the old body's memory; the rider stood on the old one
    // only, so the new one must not turn it.
    RiderOnPlatform();
    const void *oldBody = vor::ObjectTable[1]->body;
    NewCollObjVOR(1, 2);
    // Only informative: with the allocator handing the old memory back, the case is sharpest.
    RecordProperty("body_memory_reused", vor::ObjectTable[1]->body == oldBody ? "yes" : "no");
    AddObjShapeVOR(1, 2);
    AddMeshTri(1, -5, 0, -5, -5, 0, 5, 5, 0, 5);
    AddMeshTri(1, -5, 0, -5, 5, 0, 5, 5, 0, -5);
    ActivateObjVOR(1);
    Place(1, 0, 0, 0);
    EXPECT_EQ(CollisionHitObj(2, 1), 0);
    TurnPlatformAndHold();
    EXPECT_EQ(F(PeekObjYaw(2)), 0.0f);
    vor::ValidateRegistry();
}

TEST_F(FaultScenarios, FreeingAnObjectThatWasHitLeavesItsHittersContactsWithoutABody) {
    Collide();
    const int32_t x = CollisionHitPos(2, 1, 1);
    const int32_t nx = CollisionHitNorm(2, 1, 1);
    FreeObjVOR(3);
    EXPECT_EQ(CountCollisionsVOR(2), 1);
    EXPECT_EQ(CollisionHitObj(2, 1), 0);
    EXPECT_EQ(CollisionHitType(2, 1), 0);
    EXPECT_EQ(CollisionHitShape(2, 1), 1);
    EXPECT_EQ(CollisionHitPoly(2, 1), 0);
    EXPECT_EQ(CollisionHitPos(2, 1, 1), x);
    EXPECT_EQ(CollisionHitNorm(2, 1, 1), nx);
    // The next pass goes on without it.
    MoveTo(2, 8, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(X(2), 8.0f);
    EXPECT_EQ(CountCollisionsVOR(2), 0);
    vor::ValidateRegistry();
}

TEST_F(FaultScenarios, ReplacingAnObjectThatWasHitDoesNotLendItsNumberToOldContacts) {
    Collide();
    NewCollObjVOR(3, 7);
    EXPECT_EQ(CollisionHitObj(2, 1), 0);
    EXPECT_EQ(CollisionHitType(2, 1), 0);
    // The replacement has no shapes and is inactive: 2 passes through where 3 stood.
    MoveTo(2, 8, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(X(2), 8.0f);
    vor::ValidateRegistry();
}

TEST_F(FaultScenarios, FreeingTheHitterKeepsTheOtherObjectIntact) {
    Collide();
    FreeObjVOR(2);
    EXPECT_EQ(CountCollisionsVOR(3), 0);
    MoveTo(3, 3, 1, 0);
    RunCollisionVOR();
    EXPECT_EQ(Y(3), 1.0f);
    vor::ValidateRegistry();
}

TEST_F(FaultScenarios, FreeingEveryObjectBetweenPassesLeavesAnEmptyWorkingModule) {
    Collide();
    for (uint32_t n : {3u, 2u})
        FreeObjVOR(n);
    RunCollisionVOR();
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
    Collide(); // the same scene again gives the same contact
    EXPECT_EQ(F(CollisionHitPos(2, 1, 1)), 2.0f);
}

// ---- activation at awkward moments ----------------------------------------------------------

TEST_F(FaultScenarios, DeactivatingAHitBodyBetweenPassesKeepsTheOthersContacts) {
    Collide();
    DeActivateObjVOR(3);
    EXPECT_EQ(CountCollisionsVOR(2), 1);
    EXPECT_EQ(CollisionHitObj(2, 1), 3);
    EXPECT_EQ(CountCollisionsVOR(3), 0);
    // Inactive, 3 is no obstacle any more.
    MoveTo(2, 8, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(X(2), 8.0f);
    ActivateObjVOR(3);
    MoveTo(2, 0, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(CountCollisionsVOR(2), 1);
    vor::ValidateRegistry();
}

TEST_F(FaultScenarios, DeactivatingTheMoverBetweenItsUpdateAndThePassMovesItUnswept) {
    SetCollisionsVOR(1, 1, 1, 1, 1);
    MakeEllipsoid(2, 1);
    MakeEllipsoid(3, 1);
    Place(2, 0, 0, 0);
    Place(3, 3, 0, 0);
    MoveTo(2, 4, 0, 0);
    DeActivateObjVOR(2);
    RunCollisionVOR();
    EXPECT_EQ(X(2), 4.0f);
    EXPECT_EQ(CountCollisionsVOR(2), 0);
    EXPECT_EQ(CountCollisionsVOR(3), 0);
}

TEST_F(FaultScenarios, DeactivatingAndFreeingUnderTheStackCursorMovesItOn) {
    for (uint32_t n = 1; n <= 4; ++n)
        MakeEllipsoid(n, 1);
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
    DeActivateObjVOR(2);
    EXPECT_EQ(PeekCollisionStackVOR(), 3);
    FreeObjVOR(4);
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
    NewCollObjVOR(3, 1); // replacing the last listed one while the walk is over
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
    vor::ValidateRegistry();
}

// ---- stop and empty passes ------------------------------------------------------------------

TEST_F(FaultScenarios, StopBetweenTheUpdatesAndThePassLeavesNothingToSweep) {
    Collide();
    MoveTo(2, 0, 0, 0);
    MoveTo(3, 0, 5, 0);
    StopCollisionVOR();
    RunCollisionVOR();
    RunCollisionVOR();
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
    Arm();
    EXPECT_EQ(CountCollisionsVOR(2), 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object not defined in collision system: 2");
    // A new scene after the stop behaves like the first one.
    Collide();
    EXPECT_EQ(F(CollisionHitPos(2, 1, 1)), 2.0f);
}

TEST_F(FaultScenarios, APassWithoutDefinitionsMovesEveryBodyToItsRequest) {
    MakeFloor(1);
    MakeEllipsoid(2, 1);
    MakeEllipsoid(3, 1);
    Place(2, 0, 1.5f, 0);
    Place(3, 1, 1.5f, 0);
    MoveTo(2, 0, -3, 0);   // through the floor
    MoveTo(3, 0, 1.5f, 0); // into 2
    RunCollisionVOR();
    EXPECT_EQ(Y(2), -3.0f);
    EXPECT_EQ(X(3), 0.0f);
    EXPECT_EQ(CountCollisionsVOR(2), 0);
    EXPECT_EQ(CountCollisionsVOR(3), 0);
}

TEST_F(FaultScenarios, APassOnAnEmptyModuleDoesNothing) {
    RunCollisionVOR();
    SetCollisionsVOR(1, 1, 1, 1, 1);
    RunCollisionVOR();
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
    EXPECT_TRUE(log.texts.empty());
}

// ---- error handlers that call back ----------------------------------------------------------

struct Reentry {
    std::vector<std::string> texts;
    std::vector<std::string> textsAfterNested; // the handler's own text, re-read afterwards
    int depth = 0;
    int mode = 0;
};

ErrorLog *swapLog = nullptr; // where mode 4 hands the reports over to

void ReenteringHandler(const char *text, const char *caption, void *user) {
    Reentry *r = static_cast<Reentry *>(user);
    r->texts.push_back(text);
    EXPECT_STREQ(caption, "Collision Error");
    if (r->depth > 0)
        return;
    ++r->depth;
    switch (r->mode) {
    case 0: // raise another error from inside the report
        StartCollisionDebugVOR();
        SetConcaveModeVOR(99);
        break;
    case 1: // free the object the reporting call is working on
        FreeObjVOR(2);
        FreeObjVOR(3);
        break;
    case 2: // tear everything down
        StopCollisionVOR();
        break;
    case 3: // run a pass and read back
        RunCollisionVOR();
        CountCollisionsVOR(2);
        PeekObjXVOR(2);
        break;
    case 4: // swap the handler for the recording one of the fixture
        SetErrorHandlerVOR(RecordError, swapLog);
        StartCollisionDebugVOR();
        FreeObjVOR(0);
        break;
    }
    r->textsAfterNested.push_back(text);
    --r->depth;
}

TEST_F(FaultScenarios, AHandlerThatRaisesAnotherErrorSeesBothInOrder) {
    Reentry r;
    SetErrorHandlerVOR(ReenteringHandler, &r);
    Arm();
    FreeObjVOR(5001);
    ASSERT_EQ(r.texts.size(), 2u);
    EXPECT_EQ(r.texts[0], "Object number out of range for collision system: 5001");
    EXPECT_EQ(r.texts[1], "Invalid System Concave Setting: 99");
    // The outer text is still intact after the nested report reused the reporter.
    ASSERT_EQ(r.textsAfterNested.size(), 1u);
    EXPECT_EQ(r.textsAfterNested[0], r.texts[0]);
    // Both armings are used up.
    FreeObjVOR(0);
    EXPECT_EQ(r.texts.size(), 2u);
}

TEST_F(FaultScenarios, AHandlerThatFreesTheQueriedObjectDuringAContactQuery) {
    Collide();
    Reentry r;
    r.mode = 1;
    SetErrorHandlerVOR(ReenteringHandler, &r);
    for (int32_t k : {0, 2, 99}) {
        Arm();
        EXPECT_EQ(CollisionHitPos(2, static_cast<uint32_t>(k), 1), 0);
        Arm();
        EXPECT_EQ(CollisionTriCorner(2, static_cast<uint32_t>(k), 1, 1), 0);
    }
    // The first report frees object 2 from inside the handler; every later query finds it gone.
    ASSERT_EQ(r.texts.size(), 6u);
    EXPECT_EQ(r.texts[0], "Collision index out of range: 0");
    for (size_t i = 1; i < r.texts.size(); ++i)
        EXPECT_EQ(r.texts[i], "Object not defined in collision system: 2");
    vor::ValidateRegistry();
}

TEST_F(FaultScenarios, AHandlerThatFreesTheObjectOfABadRadiusCall) {
    Collide();
    Reentry r;
    r.mode = 1;
    SetErrorHandlerVOR(ReenteringHandler, &r);
    Arm();
    SetObjRadiusVOR(2, 0, 1, 1);
    ASSERT_EQ(r.texts.size(), 1u);
    EXPECT_EQ(r.texts[0], "Ellip radius values must be positive for object: 2");
    vor::ValidateRegistry();
    RunCollisionVOR();
}

TEST_F(FaultScenarios, AHandlerThatStopsTheSystemDuringAReport) {
    Collide();
    Reentry r;
    r.mode = 2;
    SetErrorHandlerVOR(ReenteringHandler, &r);
    Arm();
    EXPECT_EQ(CollisionHitObj(2, 5), 0);
    Arm();
    SetObjRadiusVOR(3, -1, 1, 1);
    Arm();
    SetCollisionsVOR(1, 1, 9, 1, 1);
    Arm();
    NewCollObjVOR(4, 200);
    EXPECT_EQ(r.texts.size(), 4u);
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
    RunCollisionVOR();
    vor::ValidateRegistry();
    Collide();
}

TEST_F(FaultScenarios, AHandlerThatRunsAPassDuringAReport) {
    Collide();
    Reentry r;
    r.mode = 3;
    SetErrorHandlerVOR(ReenteringHandler, &r);
    MoveTo(2, 0, 0, 0);
    Arm();
    EXPECT_EQ(CollisionHitNorm(2, 7, 1), 0);
    ASSERT_EQ(r.texts.size(), 1u);
    EXPECT_EQ(X(2), 0.0f); // the pass inside the handler moved it back
    vor::ValidateRegistry();
}

TEST_F(FaultScenarios, AHandlerThatReplacesItselfHandsOverTheNextReport) {
    Reentry r;
    r.mode = 4;
    ErrorLog second;
    swapLog = &second;
    SetErrorHandlerVOR(ReenteringHandler, &r);
    Arm();
    FreeObjVOR(0);
    ASSERT_EQ(r.texts.size(), 1u);
    ASSERT_EQ(second.texts.size(), 1u);
    EXPECT_EQ(second.texts[0], "Object number out of range for collision system: 0");
    Arm();
    FreeObjVOR(9);
    EXPECT_EQ(r.texts.size(), 1u);
    ASSERT_EQ(second.texts.size(), 2u);
    EXPECT_EQ(second.texts[1], "Object not defined in collision system: 9");
    SetErrorHandlerVOR(RecordError, &log);
}

// ---- the box --------------------------------------------------------------------------------

TEST_F(FaultScenarios, ArmingTheBoxTwiceStillShowsOneReport) {
    Arm();
    Arm();
    FreeObjVOR(0);
    FreeObjVOR(5001);
    SetConcaveModeVOR(0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 0");
}

TEST_F(FaultScenarios, ArmingThenStoppingThenArmingAgainReportsOnce) {
    Arm();
    StopCollisionVOR();
    FreeObjVOR(0);
    EXPECT_TRUE(log.texts.empty());
    Arm();
    FreeObjVOR(5001);
    FreeObjVOR(0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 5001");
}

TEST_F(FaultScenarios, TheDefaultHandlerWritesOneLineAndReturns) {
    SetErrorHandlerVOR(nullptr, nullptr);
    testing::internal::CaptureStderr();
    Arm();
    FreeObjVOR(0);
    FreeObjVOR(0);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "Collision Error: Object number out of range for collision system: 0\n");
    SetErrorHandlerVOR(RecordError, &log);
}

} // namespace
