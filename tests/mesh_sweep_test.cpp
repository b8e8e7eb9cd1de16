// The ellipsoid-against-mesh sweep, one step at a time: face, edge and corner contacts with their
// centres, points, normals and times, the zero-length step, the repeated-polygon rule and the
// carrying by moving meshes. Scenes are built through the exports; a step is then handed to the
// sweep directly so that its time and flags, which no export reports, can be checked.
#include <cmath>

#include "body/motion_records.h"
#include "body/registry.h"
#include "core/definitions.h"
#include "core/module_state.h"
#include "pass/mesh_sweep.h"
#include "support/test_support.h"

namespace {

using vor::Vec3;

constexpr uint32_t kMover = 1;
constexpr uint32_t kFloor = 2;

class MeshSweepTest : public HostTest {
  protected:
    // Object 1: one ellipsoid of type 1. Object 2: a mesh of type 2 with the floor triangle,
    // whose normal is (0, 1, 0). One definition, response 1, dynamic response as given.
    void Build(uint32_t dynamic = 1, float rx = 1, float ry = 1, float rz = 1) {
        MakeEllipsoid(kMover, 1, rx, ry, rz);
        NewCollObjVOR(kFloor, 2);
        AddObjShapeVOR(kFloor, 2);
        AddMeshTri(kFloor, -10, 0, -10, 0, 0, 10, 10, 0, -10);
        ActivateObjVOR(kFloor);
        Place(kFloor, 0, 0, 0);
        SetCollisionsVOR(1, 2, 2, 1, dynamic);
    }
    vor::CollisionBody *Body(uint32_t n) { return BodyOf(n); }
    vor::EllipsoidShape *Ellipsoid(uint32_t n, int which = 0) {
        vor::ListLink *l = Body(n)->shapes.head;
        for (int i = 0; i < which; ++i) {
            l = l->next;
        }
        return vor::AsEllipsoid(vor::MemberOf<vor::ShapeHead>(l));
    }
    vor::MeshShape *Mesh(uint32_t n, int which = 0) {
        vor::ListLink *l = Body(n)->shapes.head;
        for (int i = 0; i < which; ++i) {
            l = l->next;
        }
        return vor::AsMesh(vor::MemberOf<vor::ShapeHead>(l));
    }
    vor::CollisionDefinition *Definition() {
        return vor::ListHead<vor::CollisionDefinition>(vor::DefinitionList);
    }
    // Appends a step from start to end (body positions) to the mover's current motion.
    vor::MotionRecord *Step(Vec3 start, Vec3 end, int32_t iteration = 1) {
        vor::Pass.sweepIteration = iteration;
        vor::Pass.sweepPhase = 1;
        vor::MotionRecord *m = vor::CreateMotionRecord(Body(kMover));
        m->start = start;
        m->end = end;
        return m;
    }
    // A fresh single step, swept against the floor mesh; answers the step's nearest contact.
    const vor::ContactRecord *SweepOnce(Vec3 start, Vec3 end) {
        vor::FreeCurrentMotion(Body(kMover));
        vor::MotionRecord *m = Step(start, end);
        vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
        return m->nearest;
    }
    // Puts a contact with the given time and normal on step m, as if an earlier sweep found it.
    void Inject(vor::MotionRecord *m, double time, Vec3 normal, vor::CollisionBody *other,
                Vec3 point = Vec3{100, 100, 100}) {
        vor::ContactRecord *c = vor::NewContact(2);
        const Vec3 zero{0, 0, 0};
        const float t = static_cast<float>(time);
        vor::FillContact(c, Definition(), other, zero, zero, point, point, normal, zero, t);
        c->time = time;
        vor::AddContact(m, c);
    }
};

// Printed expectations are given to 7 digits; 1e-6 covers the rounding of that decimal.
void ExpectNear(const Vec3 &v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-6);
    EXPECT_NEAR(v.y, y, 1e-6);
    EXPECT_NEAR(v.z, z, 1e-6);
}

// --- Faces ---------------------------------------------------------------------------------

TEST_F(MeshSweepTest, FallingOntoTheFaceTouchesItAtTwoThirds) {
    Build();
    const vor::ContactRecord *c = SweepOnce(Vec3{0, 3, 0}, Vec3{0, 0, 0});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->kind, 2);
    EXPECT_EQ(c->time, static_cast<double>(2.0f / 3.0f));
    ExpectVec(c->contactCentre, 0, 1, 0);
    ExpectVec(c->contactPosition, 0, 1, 0);
    ExpectVec(c->point, 0, 0, 0);
    ExpectVec(c->normal, 0, 1, 0);
    EXPECT_EQ(c->polygon, 1);
    EXPECT_EQ(c->edgeHit, 0);
    EXPECT_EQ(c->otherBody, Body(kFloor));
    ExpectVec(c->corner1, -10, 0, -10);
    ExpectVec(c->corner2, 0, 0, 10);
    ExpectVec(c->corner3, 10, 0, -10);
    EXPECT_EQ(c->phase, 1);
}

TEST_F(MeshSweepTest, RadiiScaleTheSweepAndTheContactReturnsToWorldUnits) {
    Build(1, 2, 0.5f, 2);
    // Unit-sphere start (0, 6, 0): the plane is reached after 5 of 6 units.
    const vor::ContactRecord *c = SweepOnce(Vec3{0, 3, 0}, Vec3{0, 0, 0});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->time, static_cast<double>(5.0f / 6.0f));
    ExpectVec(c->contactCentre, 0, 0.5f, 0);
    ExpectVec(c->point, 0, 0, 0);
    ExpectVec(c->normal, 0, 1, 0);
}

TEST_F(MeshSweepTest, OffsetIsAddedToTheStepAndTakenOffTheContactPosition) {
    Build();
    SetEllipOffsetVOR(kMover, 0, 1, 0);
    const vor::ContactRecord *c = SweepOnce(Vec3{0, 2, 0}, Vec3{0, -1, 0});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->time, static_cast<double>(2.0f / 3.0f));
    ExpectVec(c->contactCentre, 0, 1, 0);
    ExpectVec(c->contactPosition, 0, 0, 0);
}

TEST_F(MeshSweepTest, SphereAlreadyCuttingTheFaceTouchesAtTimeZero) {
    Build();
    const vor::ContactRecord *c = SweepOnce(Vec3{0, 0.5f, 0}, Vec3{0, 0.4f, 0});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->time, 0.0);
    ExpectVec(c->contactCentre, 0, 1, 0);
}

TEST_F(MeshSweepTest, MotionThatLeavesOrRunsAlongTheFaceGivesNoContact) {
    Build();
    EXPECT_EQ(SweepOnce(Vec3{0, 0.5f, 0}, Vec3{0, 0.6f, 0}), nullptr);
    EXPECT_EQ(SweepOnce(Vec3{0, 0.5f, 0}, Vec3{1, 0.5f, 0}), nullptr);
}

TEST_F(MeshSweepTest, StartBehindTheFaceOrPlaneOutOfReachGivesNoContact) {
    Build();
    EXPECT_EQ(SweepOnce(Vec3{0, -3, 0}, Vec3{0, 3, 0}), nullptr);
    EXPECT_EQ(SweepOnce(Vec3{0, 3, 0}, Vec3{0, 2.5f, 0}), nullptr);
    // Touching exactly at the end of the step is out of reach too (d - 1 < L is strict); a
    // little further is in reach.
    EXPECT_EQ(SweepOnce(Vec3{0, 3, 0}, Vec3{0, 1, 0}), nullptr);
    const vor::ContactRecord *c = SweepOnce(Vec3{0, 3, 0}, Vec3{0, 0.5f, 0});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->time, static_cast<double>(2.0f / 2.5f));
}

TEST_F(MeshSweepTest, BackFaceIsNeverHit) {
    MakeEllipsoid(kMover, 1);
    NewCollObjVOR(kFloor, 2);
    AddObjShapeVOR(kFloor, 2);
    AddMeshTri(kFloor, -10, 0, -10, 10, 0, -10, 0, 0, 10); // normal (0, -1, 0)
    ActivateObjVOR(kFloor);
    Place(kFloor, 0, 0, 0);
    SetCollisionsVOR(1, 2, 2, 1, 1);
    EXPECT_EQ(SweepOnce(Vec3{0, 3, 0}, Vec3{0, -3, 0}), nullptr);
    EXPECT_EQ(SweepOnce(Vec3{0, 0.5f, 0}, Vec3{0, 0.5f, 0}), nullptr);
    // From below it is the front.
    const vor::ContactRecord *c = SweepOnce(Vec3{0, -3, 0}, Vec3{0, 0, 0});
    ASSERT_NE(c, nullptr);
    ExpectVec(c->normal, 0, -1, 0);
}

// --- Edges and corners ----------------------------------------------------------------------

TEST_F(MeshSweepTest, PassingJustOutsideAnEdgeTouchesTheEdge) {
    Build();
    const vor::ContactRecord *c = SweepOnce(Vec3{0, 2, -10.5f}, Vec3{0, -2, -10.5f});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->edgeHit, 1);
    EXPECT_NEAR(c->time, 0.2834936, 1e-6);
    ExpectNear(c->contactCentre, 0, 0.8660254f, -10.5f);
    ExpectNear(c->point, 0, 0, -10);
    ExpectNear(c->normal, 0, 0.8660254f, -0.5f);
    EXPECT_EQ(c->polygon, 1);
}

TEST_F(MeshSweepTest, PassingBeyondACornerTouchesTheCorner) {
    Build();
    const vor::ContactRecord *c = SweepOnce(Vec3{10.5f, 2, -10.5f}, Vec3{10.5f, -2, -10.5f});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->edgeHit, 0);
    EXPECT_NEAR(c->time, 0.3232233, 1e-6);
    ExpectNear(c->contactCentre, 10.5f, 0.7071068f, -10.5f);
    ExpectVec(c->point, 10, 0, -10);
    ExpectNear(c->normal, 0.5f, 0.7071068f, -0.5f);
}

TEST_F(MeshSweepTest, PassingFarOutsideTheTriangleTouchesNothing) {
    Build();
    EXPECT_EQ(SweepOnce(Vec3{0, 2, -11.5f}, Vec3{0, -2, -11.5f}), nullptr);
    EXPECT_EQ(SweepOnce(Vec3{11.2f, 2, -11.2f}, Vec3{11.2f, -2, -11.2f}), nullptr);
}

TEST_F(MeshSweepTest, EdgeOverlappingAtTimeZeroStillReachesTheEdgeTestWithANegativeTime) {
    Build();
    vor::FreeCurrentMotion(Body(kMover));
    vor::MotionRecord *m = Step(Vec3{0, 0.5f, -10.3f}, Vec3{0, 0.4f, -10.3f});
    Inject(m, 0.0, Vec3{0, 1, 0}, Body(kFloor));
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
    ASSERT_NE(m->nearest, nullptr);
    EXPECT_EQ(m->nearest->edgeHit, 1);
    EXPECT_LT(m->nearest->time, 0.0);
    // Pushed straight out from the edge line to distance 1: along (0, 0.5, -0.3) from (0, 0, -10).
    const Vec3 h = m->nearest->contactCentre;
    EXPECT_NEAR(std::sqrt(h.y * h.y + (h.z + 10) * (h.z + 10)), 1.0, 1e-6);
    EXPECT_NEAR(h.y / (h.z + 10), 0.5 / -0.3, 1e-5);
    ExpectVec(m->nearest->point, 0, 0, -10);
}

TEST_F(MeshSweepTest, CornerNoEarlierThanTheNearestContactIsNotOffered) {
    Build();
    const Vec3 s{10.5f, 2, -10.5f}, e{10.5f, -2, -10.5f};
    const vor::ContactRecord *free = SweepOnce(s, e);
    ASSERT_NE(free, nullptr);
    const double cornerTime = free->time;

    vor::FreeCurrentMotion(Body(kMover));
    vor::MotionRecord *m = Step(s, e);
    Inject(m, cornerTime, Vec3{0, 0, 1}, Body(kFloor));
    const vor::ContactRecord *injected = m->nearest;
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
    EXPECT_EQ(m->nearest, injected); // an equal time is not offered

    vor::FreeCurrentMotion(Body(kMover));
    m = Step(s, e);
    Inject(m, cornerTime + 1e-6, Vec3{0, 0, 1}, Body(kFloor));
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
    ASSERT_NE(m->nearest, nullptr);
    EXPECT_EQ(m->nearest->time, cornerTime);
    ExpectVec(m->nearest->point, 10, 0, -10);
}

TEST_F(MeshSweepTest, LaterFaceIsNotTakenOverAnEarlierNearestContact) {
    Build();
    vor::FreeCurrentMotion(Body(kMover));
    vor::MotionRecord *m = Step(Vec3{0, 3, 0}, Vec3{0, 0, 0});
    Inject(m, 0.5, Vec3{0, 0, 1}, Body(kFloor));
    const vor::ContactRecord *injected = m->nearest;
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
    EXPECT_EQ(m->nearest, injected);
}

// --- Zero-length steps ----------------------------------------------------------------------

TEST_F(MeshSweepTest, StandingStillInsideTheFaceTouchesAtTimeZero) {
    Build();
    const vor::ContactRecord *c = SweepOnce(Vec3{0, 0.5f, 0}, Vec3{0, 0.5f, 0});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->time, 0.0);
    ExpectVec(c->contactCentre, 0, 1, 0);
    ExpectVec(c->normal, 0, 1, 0);
    EXPECT_EQ(SweepOnce(Vec3{0, 1.5f, 0}, Vec3{0, 1.5f, 0}), nullptr);
}

TEST_F(MeshSweepTest, StandingStillAcrossAnEdgeOrCornerRecordsNothing) {
    Build();
    EXPECT_EQ(SweepOnce(Vec3{0, 0.5f, -10.3f}, Vec3{0, 0.5f, -10.3f}), nullptr);
    EXPECT_EQ(SweepOnce(Vec3{10.3f, 0.5f, -10.3f}, Vec3{10.3f, 0.5f, -10.3f}), nullptr);
}

// --- Bad geometry ---------------------------------------------------------------------------

TEST_F(MeshSweepTest, DegenerateTrianglesNeverTouchAndKeepTheirPolygonNumber) {
    MakeEllipsoid(kMover, 1);
    NewCollObjVOR(kFloor, 2);
    AddObjShapeVOR(kFloor, 2);
    AddMeshTri(kFloor, -10, 0, 0, 0, 0, 0, 10, 0, 0);        // corners on one line
    AddMeshTri(kFloor, 1, 0, 1, 1, 0, 1, 1, 0, 1);           // one point three times
    AddMeshTri(kFloor, -10, 0, -10, -10, 0, -10, 10, 0, 10); // repeated corner
    AddMeshTri(kFloor, -10, 0, -10, 0, 0, 10, 10, 0, -10);   // the real floor
    ActivateObjVOR(kFloor);
    Place(kFloor, 0, 0, 0);
    SetCollisionsVOR(1, 2, 2, 1, 1);
    const vor::ContactRecord *c = SweepOnce(Vec3{0, 0.5f, 0}, Vec3{0, -3, 0});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->polygon, 4);
    c = SweepOnce(Vec3{1, 3, 1}, Vec3{1, -3, 1});
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->polygon, 4);
}

TEST_F(MeshSweepTest, MeshWithoutTrianglesIsNeverTouched) {
    MakeEllipsoid(kMover, 1);
    NewCollObjVOR(kFloor, 2);
    AddObjShapeVOR(kFloor, 2);
    ActivateObjVOR(kFloor);
    Place(kFloor, 0, 0, 0);
    SetCollisionsVOR(1, 2, 2, 1, 1);
    EXPECT_EQ(SweepOnce(Vec3{0, 0.5f, 0}, Vec3{0, -3, 0}), nullptr);
    EXPECT_EQ(SweepOnce(Vec3{0, 0, 0}, Vec3{0, 0, 0}), nullptr);
}

TEST_F(MeshSweepTest, NaNAndInfiniteStepsGiveNoContact) {
    Build();
    const float nan = std::nanf("");
    const float inf = INFINITY;
    EXPECT_EQ(SweepOnce(Vec3{nan, 3, 0}, Vec3{0, 0, 0}), nullptr);
    EXPECT_EQ(SweepOnce(Vec3{0, 3, 0}, Vec3{0, nan, 0}), nullptr);
    EXPECT_EQ(SweepOnce(Vec3{0, 3, 0}, Vec3{0, -inf, 0}), nullptr);
    EXPECT_EQ(SweepOnce(Vec3{0, 3, 0}, Vec3{1e30f, -1e30f, 0}), nullptr);
}

// --- Repeated polygons ----------------------------------------------------------------------

class RepeatedPolygonTest : public MeshSweepTest {
  protected:
    // Floor polygon 1 and a wall polygon 2 at x = 5 facing -x.
    void BuildFloorAndWall() {
        Build();
        AddMeshTri(kFloor, 5, -10, -10, 5, -10, 10, 5, 10, 0);
    }
    // Step that falls onto the floor, then one that runs into the wall: both get nearest contacts.
    void HitFloorThenWall() {
        vor::FreeCurrentMotion(Body(kMover));
        vor::MotionRecord *a = Step(Vec3{0, 3, 0}, Vec3{0, 0, 0});
        vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
        ASSERT_NE(a->nearest, nullptr);
        ASSERT_EQ(a->nearest->polygon, 1);
        vor::MotionRecord *b = Step(Vec3{2, 3, 0}, Vec3{6, 3, 0});
        vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
        ASSERT_NE(b->nearest, nullptr);
        ASSERT_EQ(b->nearest->polygon, 2);
    }
    const vor::ContactRecord *FallAgain() {
        vor::MotionRecord *c = Step(Vec3{1, 3, 0}, Vec3{1, 0, 0});
        vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
        return c->nearest;
    }
};

TEST_F(RepeatedPolygonTest, PolygonHitByAnyEarlierStepIsSkipped) {
    BuildFloorAndWall();
    HitFloorThenWall();
    EXPECT_EQ(FallAgain(), nullptr);
}

TEST_F(RepeatedPolygonTest, ConcaveModeOneLooksOnlyAtTheStepJustBefore) {
    SetConcaveModeVOR(1);
    BuildFloorAndWall();
    HitFloorThenWall();
    const vor::ContactRecord *c = FallAgain();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->polygon, 1);
    // Now the floor itself is the step just before: another fall onto it is skipped (its point
    // (-1, 0, 0) is no near-duplicate of the earlier ones).
    vor::MotionRecord *d = Step(Vec3{-1, 3, 0}, Vec3{-1, 0, 0});
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
    EXPECT_EQ(d->nearest, nullptr);
}

TEST_F(RepeatedPolygonTest, RuleComparesTheMeshBodyAndIndexNotTheShape) {
    // Two mesh shapes on one body: each receives the same triangles.
    MakeEllipsoid(kMover, 1);
    NewCollObjVOR(kFloor, 2);
    AddObjShapeVOR(kFloor, 2);
    AddObjShapeVOR(kFloor, 2);
    AddMeshTri(kFloor, -10, 0, -10, 0, 0, 10, 10, 0, -10);
    ActivateObjVOR(kFloor);
    Place(kFloor, 0, 0, 0);
    SetCollisionsVOR(1, 2, 2, 1, 1);
    vor::FreeCurrentMotion(Body(kMover));
    vor::MotionRecord *a = Step(Vec3{0, 3, 0}, Vec3{0, 0, 0});
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor, 0));
    ASSERT_NE(a->nearest, nullptr);
    vor::MotionRecord *b = Step(Vec3{1, 3, 0}, Vec3{1, 0, 0});
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor, 1));
    EXPECT_EQ(b->nearest, nullptr);
}

// --- Carrying by moving meshes --------------------------------------------------------------

class CarryTest : public MeshSweepTest {
  protected:
    // The floor rises by 1 and turns by 30 degrees of yaw since its previous update.
    void LiftAndTurnFloor() {
        SetObjPosVOR(0, 1, 0);
        SetObjRotVOR(0, 30, 0);
        UpdateObjVOR(kFloor, 0);
    }
    // The mover stood on the floor in the pass before, with a contact normal of that y.
    void StoodOnFloor(float normalY) {
        vor::CollisionBody *b = Body(kMover);
        vor::FreeCurrentMotion(b);
        vor::FreePreviousMotion(b);
        vor::MotionRecord *old = Step(Vec3{0, 1, 0}, Vec3{0, 1, 0});
        Inject(old, 0.0, Vec3{0, normalY, 0}, Body(kFloor));
        b->previousMotion = b->currentMotion;
        b->currentMotion = vor::IntrusiveList{};
    }
    // The mover's step straight down onto the centre of the floor (on the y axis, so the turn
    // does not move it); answers the time of its contact.
    double FallTime(int32_t iteration = 1) {
        vor::MotionRecord *m = Step(Vec3{0, 3, 0}, Vec3{0, 0, 0}, iteration);
        vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover), Mesh(kFloor));
        return m->nearest == nullptr ? -99.0 : m->nearest->time;
    }
    float Yaw() { return Body(kMover)->newRotation.y; }
};

// Start carried to (0, 4, 0), end left at (0, 0, 0): the raised plane is touched at y = 2.
constexpr double kStartCarried = 0.5;
// Both carried: (0, 4, 0) to (0, 1, 0).
constexpr double kBothCarried = 2.0 / 3.0;
// Nothing carried: (0, 3, 0) to (0, 0, 0) against the plane at y = 1.
constexpr double kNothingCarried = 1.0 / 3.0;

TEST_F(CarryTest, DynamicOneCarriesNothing) {
    Build(1);
    LiftAndTurnFloor();
    StoodOnFloor(0.5f);
    EXPECT_NEAR(FallTime(), kNothingCarried, 1e-6);
    EXPECT_EQ(Yaw(), 0.0f);
}

TEST_F(CarryTest, DynamicTwoCarriesOnlyTheStart) {
    Build(2);
    LiftAndTurnFloor();
    StoodOnFloor(0.5f);
    EXPECT_NEAR(FallTime(), kStartCarried, 1e-6);
    EXPECT_EQ(Yaw(), 0.0f);
}

TEST_F(CarryTest, DynamicThreeCarriesARiderAndTurnsIt) {
    Build(3);
    LiftAndTurnFloor();
    StoodOnFloor(0.5f);
    EXPECT_NEAR(FallTime(), kBothCarried, 1e-6);
    EXPECT_EQ(Yaw(), 30.0f);
}

TEST_F(CarryTest, DynamicFourCarriesARiderWithoutTurningIt) {
    Build(4);
    LiftAndTurnFloor();
    StoodOnFloor(0.5f);
    EXPECT_NEAR(FallTime(), kBothCarried, 1e-6);
    EXPECT_EQ(Yaw(), 0.0f);
}

TEST_F(CarryTest, BodyThatDidNotStandOnTheMeshIsNotARider) {
    Build(3);
    LiftAndTurnFloor();
    StoodOnFloor(0.25f);
    EXPECT_NEAR(FallTime(), kStartCarried, 1e-6);
    EXPECT_EQ(Yaw(), 0.0f);
}

TEST_F(CarryTest, NormalOfTheFloatNearestPointThreeCounts) {
    Build(3);
    LiftAndTurnFloor();
    StoodOnFloor(0.3f); // 0.30000001 as a float, above the double 0.3
    EXPECT_NEAR(FallTime(), kBothCarried, 1e-6);
    EXPECT_EQ(Yaw(), 30.0f);
}

TEST_F(CarryTest, LaterIterationsCarryNothing) {
    Build(3);
    LiftAndTurnFloor();
    StoodOnFloor(0.5f);
    EXPECT_NEAR(FallTime(2), kNothingCarried, 1e-6);
    EXPECT_EQ(Yaw(), 0.0f);
}

TEST_F(CarryTest, EverySweepThatPassesTheBoundsTurnsTheRiderAgain) {
    Build(3);
    AddObjShapeVOR(kMover, 1); // a second ellipsoid under the same definition
    LiftAndTurnFloor();
    StoodOnFloor(0.5f);
    vor::MotionRecord *m = Step(Vec3{0, 3, 0}, Vec3{0, 0, 0});
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover, 0), Mesh(kFloor));
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover, 1), Mesh(kFloor));
    EXPECT_NE(m->nearest, nullptr);
    EXPECT_EQ(Yaw(), 60.0f);
    // A sweep rejected by the bounds cube turns nothing.
    vor::MotionRecord *far = Step(Vec3{0, 50, 0}, Vec3{0, 40, 0});
    vor::SweepEllipsoidMesh(Definition(), Ellipsoid(kMover, 0), Mesh(kFloor));
    EXPECT_EQ(far->nearest, nullptr);
    EXPECT_EQ(Yaw(), 60.0f);
}

// --- Through the pass and the result queries ------------------------------------------------

TEST_F(MeshSweepTest, ResultQueriesReportThePolygonAndItsWorldCorners) {
    Build();
    AddMeshTri(kFloor, -10, 0, -10, 0, 0, 10, 10, 0, -10); // same floor again: polygon 2 ties
    Place(kFloor, 0, -1, 0);
    Place(kMover, 0, 3, 0);
    MoveTo(kMover, 0, -5, 0);
    RunCollisionVOR();
    ASSERT_EQ(CountCollisionsVOR(kMover), 1);
    EXPECT_EQ(CollisionHitShape(kMover, 1), 2);
    EXPECT_EQ(CollisionHitObj(kMover, 1), static_cast<int32_t>(kFloor));
    EXPECT_EQ(CollisionHitType(kMover, 1), 2);
    EXPECT_EQ(CollisionHitPoly(kMover, 1), 1); // the first of two equal hits
    EXPECT_EQ(F(CollisionHitPos(kMover, 1, 2)), -1.0f);
    EXPECT_EQ(F(CollisionHitNorm(kMover, 1, 2)), 1.0f);
    EXPECT_EQ(F(CollisionTriCorner(kMover, 1, 1, 1)), -10.0f);
    EXPECT_EQ(F(CollisionTriCorner(kMover, 1, 1, 2)), -1.0f);
    EXPECT_EQ(F(CollisionTriCorner(kMover, 1, 2, 3)), 10.0f);
    EXPECT_EQ(F(CollisionTriCorner(kMover, 1, 3, 1)), 10.0f);
    EXPECT_EQ(Y(kMover), 0.0f); // response 1 stops at the contact position
}

} // namespace
