// The pass driver: retiring and opening records, the Pass.sweepNeeded gate, which bodies are swept
// in which iteration, the repeat-contact rule, the follow-on steps, and the iteration bound that
// ends a pass fed with NaN or infinite values.
#include <cmath>
#include <limits>

#include "body/motion_index.h"
#include "core/module_state.h"
#include "core/thresholds.h"
#include "pass/pass_driver.h"
#include "support/pass_test_support.h"

using vor::MotionRecord;
using vor::Vec3;

namespace {

class PassDriverTest : public PassInternalsTest {
  protected:
    void SetUp() override {
        PassInternalsTest::SetUp();
        RunCollisionVOR(); // lowers a Pass.sweepNeeded left raised by an earlier test
    }
};

TEST_F(PassDriverTest, APassWithoutAChangedTransformMovesBodiesUnswept) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    Place(2, 3, 0, 0);
    SetCollisionsVOR(0, 0, 1, 1, 1);
    // Flag 2 changes the position without asking for a sweep.
    SetObjPosVOR(6, 0, 0);
    UpdateObjVOR(1, 2);
    RunCollisionVOR();
    EXPECT_EQ(CountCollisionsVOR(1), 0);
    EXPECT_EQ(X(1), 6.0f);
    auto records = Records(Body(1));
    ASSERT_EQ(records.size(), 1u);
    ExpectVec(records[0]->start, 0, 0, 0);
    ExpectVec(records[0]->end, 6, 0, 0);
}

TEST_F(PassDriverTest, EachPassRetiresTheLastPassRecordsAndOpensOneFreshRecordPerBody) {
    MakeEllipsoid(1, 0);
    RunCollisionVOR();
    MotionRecord *first = Records(Body(1)).at(0);
    RunCollisionVOR();
    vor::CollisionBody *b = Body(1);
    EXPECT_EQ(vor::ListHead<MotionRecord>(b->previousMotion), first);
    EXPECT_EQ(Records(b).size(), 1u);
    EXPECT_EQ(Records(b)[0]->iteration, 1);
    vor::ValidateList(b->previousMotion);
    vor::ValidateList(b->currentMotion);
}

TEST_F(PassDriverTest, TheCreaseCounterIsResetByEveryPass) {
    MakeEllipsoid(1, 0);
    Body(1)->creaseCounter = 2;
    RunCollisionVOR();
    EXPECT_EQ(Body(1)->creaseCounter, 0);
}

TEST_F(PassDriverTest, AnInactiveBodyGetsARecordButIsNeitherSweptNorHit) {
    MakeEllipsoid(1, 0);
    NewCollObjVOR(2, 0);
    AddObjShapeVOR(2, 1);
    Place(2, 3, 0, 0);
    SetCollisionsVOR(0, 0, 1, 1, 1);
    MoveTo(2, 3, 4, 0);
    MoveTo(1, 6, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(CountCollisionsVOR(1), 0);
    EXPECT_EQ(X(1), 6.0f);
    ASSERT_EQ(Records(Body(2)).size(), 1u);
    ExpectVec(Records(Body(2))[0]->end, 3, 4, 0);
}

TEST_F(PassDriverTest, ABodyIsNeverSweptAgainstItsOwnShapes) {
    MakeEllipsoid(1, 0);
    AddObjShapeVOR(1, 1);
    SetEllipOffsetVOR(1, 0, 0, 0);
    SetCollisionsVOR(0, 0, 1, 1, 1);
    MoveTo(1, 5, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(CountCollisionsVOR(1), 0);
    EXPECT_EQ(X(1), 5.0f);
}

TEST_F(PassDriverTest, WhenEveryResponseStopsThePassEndsWithAFollowOnRecord) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    Place(2, 3, 0, 0);
    SetCollisionsVOR(0, 0, 1, 1, 1);
    MoveTo(1, 4, 0, 0);
    RunCollisionVOR();
    auto records = Records(Body(1));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_NE(records[0]->nearest, nullptr);
    EXPECT_EQ(records[1]->nearest, nullptr);
    EXPECT_EQ(records[1]->iteration, 2);
    ExpectVec(records[1]->start, 1, 0, 0);
    ExpectVec(records[1]->end, 1, 0, 0);
    EXPECT_EQ(vor::Pass.sweepIteration, 2);
    EXPECT_EQ(vor::Pass.sweepNeeded, 0);
}

TEST_F(PassDriverTest, ASlidingBodyGetsAnotherIterationStampedOnItsNextRecord) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    Place(2, 3, 1, 0);
    SetCollisionsVOR(0, 0, 1, 2, 1);
    MoveTo(1, 6, 0, 0);
    RunCollisionVOR();
    auto records = Records(Body(1));
    ASSERT_GE(records.size(), 2u);
    EXPECT_EQ(records[0]->iteration, 1);
    EXPECT_EQ(records[1]->iteration, 2);
    EXPECT_EQ(Records(Body(2)).size(), 1u); // hit, but never corrected
}

TEST_F(PassDriverTest, OnlyBodiesWithAStepOfTheCurrentIterationAreSweptAsSources) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    vor::CollisionDefinition *d = Def(1, 1);
    d->sourceType = 0;
    d->destinationType = 0;
    vor::Pass.sweepIteration = 2;
    MotionRecord *stale = Step(Body(1), {0, 0, 0}, {4, 0, 0});
    stale->iteration = 1;
    Step(Body(2), {3, 0, 0}, {3, 0, 0});
    vor::SweepDefinition(d);
    EXPECT_EQ(stale->nearest, nullptr);
    stale->iteration = 2;
    vor::SweepDefinition(d);
    EXPECT_NE(stale->nearest, nullptr);
}

TEST_F(PassDriverTest, PairAlreadyHitLooksForAnEllipsoidNearestContactWithTheSameBody) {
    vor::CollisionBody *a = NewBody(1);
    vor::CollisionBody *o = NewBody(2);
    vor::CollisionBody *other = NewBody(3);
    vor::CollisionDefinition *ellipsoids = Def(1, 2);
    vor::CollisionDefinition *meshes = Def(2, 2);
    MotionRecord *m = Step(a, {0, 0, 0}, {1, 0, 0});
    EXPECT_FALSE(vor::PairAlreadyHit(a, ellipsoids, o));
    vor::AddContact(m, Contact(ellipsoids, 0.5f, {0, 0, 0}, {0, 1, 0}, o));
    Step(a, {0, 0, 0}, {1, 0, 0});
    EXPECT_TRUE(vor::PairAlreadyHit(a, ellipsoids, o));
    EXPECT_FALSE(vor::PairAlreadyHit(a, ellipsoids, other));
    EXPECT_FALSE(vor::PairAlreadyHit(a, meshes, o));
}

TEST_F(PassDriverTest, AMeshNearestContactDoesNotBlockEllipsoidSweeps) {
    vor::CollisionBody *a = NewBody(1);
    vor::CollisionBody *o = NewBody(2);
    MotionRecord *m = Step(a, {0, 0, 0}, {1, 0, 0});
    vor::AddContact(m, Contact(Def(2, 2), 0.5f, {0, 0, 0}, {0, 1, 0}, o));
    EXPECT_FALSE(vor::PairAlreadyHit(a, Def(1, 2), o));
}

// Past kIndexedRecords sealed records the look-up answers for them and the latest record is
// still read on its own: the same answers as the walk, body by body and definition by definition.
TEST_F(PassDriverTest, PairAlreadyHitGivesTheWalksAnswersThroughTheLookUp) {
    vor::CollisionBody *a = NewBody(1);
    vor::CollisionBody *early = NewBody(2), *meshHit = NewBody(3), *latest = NewBody(4);
    vor::CollisionBody *never = NewBody(5);
    vor::CollisionDefinition *ellipsoids = Def(1, 2);
    vor::AddContact(Step(a, {0, 0, 0}, {1, 0, 0}),
                    Contact(ellipsoids, 0.5f, {0, 0, 0}, {0, 1, 0}, early));
    for (int k = 0; k < 20; ++k) { // points 1 apart: no contact repeats an earlier one
        const float x = static_cast<float>(k + 2);
        vor::AddContact(Step(a, {0, 0, 0}, {1, 0, 0}),
                        Contact(Def(2, 2), 0.5f, {x, 0, 0}, {0, 1, 0}, meshHit));
    }
    vor::AddContact(Step(a, {0, 0, 0}, {1, 0, 0}),
                    Contact(ellipsoids, 0.5f, {40, 0, 0}, {0, 1, 0}, latest));
    ASSERT_GE(a->sealedRecords, vor::kIndexedRecords);
    for (const bool walk : {true, false}) {
        vor::ReferenceScans = walk;
        EXPECT_TRUE(vor::PairAlreadyHit(a, ellipsoids, early)) << "walk " << walk;
        EXPECT_TRUE(vor::PairAlreadyHit(a, ellipsoids, latest)) << "walk " << walk;
        EXPECT_FALSE(vor::PairAlreadyHit(a, ellipsoids, meshHit)) << "walk " << walk;
        EXPECT_FALSE(vor::PairAlreadyHit(a, ellipsoids, never)) << "walk " << walk;
    }
    vor::ReferenceScans = false;
}

TEST_F(PassDriverTest, OnceAnEllipsoidIsTheNearestContactASecondShapeSkipsIt) {
    // Object 1 has two ellipsoids side by side; object 2 stands in the path of both.
    MakeEllipsoid(1, 0);
    AddObjShapeVOR(1, 1);
    MakeEllipsoid(2, 0);
    Place(2, 3, 0, 0);
    SetCollisionsVOR(0, 0, 1, 2, 1);
    MoveTo(1, 4, 0, 0);
    RunCollisionVOR();
    auto records = Records(Body(1));
    ASSERT_FALSE(records.empty());
    ASSERT_NE(records[0]->nearest, nullptr);
    EXPECT_EQ(ContactCount(records[0]), 1u);
}

// A pass always ends, whatever the host feeds it.
class DegenerateInputTest : public PassDriverTest {
  protected:
    void Crowd(float x, float y, float z) {
        for (uint32_t n = 1; n <= 4; ++n) {
            MakeEllipsoid(n, 0);
            Place(n, static_cast<float>(n), 0, 0);
        }
        SetCollisionsVOR(0, 0, 1, 2, 1);
        SetConcaveModeVOR(7);
        for (uint32_t n = 1; n <= 4; ++n) {
            MoveTo(n, n % 2 == 0 ? x : -x, y, z);
        }
    }
    void ExpectBounded() {
        EXPECT_LE(vor::Pass.sweepIteration, vor::kMaxPassIterations + 1);
        for (uint32_t n = 1; n <= 4; ++n) {
            EXPECT_LE(CountCollisionsVOR(n), vor::kMaxPassIterations * 4);
        }
    }
};

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST_F(DegenerateInputTest, NaNPositionsEndThePass) {
    Crowd(kNaN, 0, kNaN);
    RunCollisionVOR();
    ExpectBounded();
}

TEST_F(DegenerateInputTest, InfinitePositionsEndThePass) {
    Crowd(kInf, kInf, 0);
    RunCollisionVOR();
    ExpectBounded();
}

TEST_F(DegenerateInputTest, InfiniteRadiiEndThePass) {
    Crowd(3, 0.5f, 0);
    for (uint32_t n = 1; n <= 4; ++n) {
        SetObjRadiusVOR(n, kInf, 1, kInf);
    }
    RunCollisionVOR();
    ExpectBounded();
}

TEST_F(DegenerateInputTest, NaNRadiiEndThePass) {
    Crowd(3, 0.5f, 0);
    // The export refuses NaN radii; set them behind its back.
    for (uint32_t n = 1; n <= 4; ++n) {
        Ellipsoid(n)->radii = Vec3{kNaN, 1, kNaN};
    }
    RunCollisionVOR();
    ExpectBounded();
}

TEST_F(DegenerateInputTest, AnInfiniteBodyWithoutEllipOptimizeEndsThePass) {
    // Infinite contact points are never near-duplicates; the pass still has to end.
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    SetCollisionsVOR(0, 0, 1, 2, 1);
    SetEllipOptimizeVOR(0);
    SetConcaveModeVOR(1);
    Place(2, 0, 0, 0);
    SetObjRadiusVOR(1, kInf, kInf, kInf);
    MoveTo(1, 5, 0, 0);
    RunCollisionVOR();
    ExpectBounded();
}

// The bound is not only for NaN and infinities: a body asked to slide 200 units round the inside
// of a 200-facet ring in one step (concave mode 1) turns at facet after facet, one iteration each,
// with every coordinate finite. The pass still ends where the wall holds the body.
TEST_F(PassDriverTest, FiniteInputTakesHundredsOfIterationsAndTheBodyStaysInsideTheRing) {
    constexpr uint32_t kFacets = 200;
    constexpr float kRing = 20;
    NewCollObjVOR(1, 2);
    AddObjShapeVOR(1, 2);
    for (uint32_t k = 0; k < kFacets; ++k) {
        const float a0 = 6.2831853f * static_cast<float>(k) / kFacets;
        const float a1 = 6.2831853f * static_cast<float>(k + 1) / kFacets;
        const float x0 = kRing * std::cos(a0), z0 = kRing * std::sin(a0);
        const float x1 = kRing * std::cos(a1), z1 = kRing * std::sin(a1);
        AddMeshTri(1, x0, -5, z0, x1, 5, z1, x0, 5, z0); // facing the ring's centre
        AddMeshTri(1, x0, -5, z0, x1, -5, z1, x1, 5, z1);
    }
    Place(1, 0, 0, 0);
    ActivateObjVOR(1);
    MakeEllipsoid(10, 1, 0.5f, 0.5f, 0.5f);
    SetCollisionsVOR(1, 2, 2, 2, 1);
    SetConcaveModeVOR(1);
    Place(10, kRing - 1, 0, 0);
    RunCollisionVOR();
    MoveTo(10, kRing - 1, 0, 200); // along the wall's tangent, one and a half times round
    vor::ResetStats();
    RunCollisionVOR();
    EXPECT_GT(vor::ThreadStats().passIterations, 150u); // measured 172
    EXPECT_LE(vor::ThreadStats().passIterations, static_cast<uint64_t>(vor::kMaxPassIterations));
    EXPECT_GT(CountCollisionsVOR(10), 150);
    const float x = X(10), z = Z(10);
    ASSERT_TRUE(std::isfinite(x) && std::isfinite(z));
    EXPECT_LE(std::hypot(x, z), kRing - 0.5f + 1e-3f); // the radius keeps it off the wall
}

} // namespace
