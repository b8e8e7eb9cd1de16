// The pair grid kept over a pass's iterations, driven iteration by iteration: a case the crowd
// scenes of the differential test do not reach.
#include <cmath>

#include "body/motion_records.h"
#include "core/definitions.h"
#include "core/module_state.h"
#include "core/stats.h"
#include "pass/pair_grid.h"
#include "pass/pass_driver.h"
#include "support/test_support.h"

namespace {

struct Outcome {
    uint64_t overlapped;
    bool sourceHit;
    double sourceTime;
    vor::WorkCounters work;
};

uint32_t AddBall(uint32_t n, float x, float y, float z) {
    NewCollObjVOR(n, 1);
    AddObjShapeVOR(n, 1);
    SetObjRadiusVOR(n, 0.25f, 0.25f, 0.25f);
    SetObjPosVOR(x, y, z);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(n, 1);
    ActivateObjVOR(n);
    return n;
}

// A kept grid taken up in a second iteration in which a settled body D takes a new step whose
// sweep against a body it overlaps gives it a time of -3.5 (its hull then reaches back beyond
// its old box and the growth), and a body S that left its env (so searches the kept cells)
// creeps towards where D's step reaches back to.
Outcome RunEarlyDestinationAgainstEscapedSource(bool reference) {
    StopCollisionVOR();
    SetEllipSizeModeVOR(0);
    vor::ReferenceScans = reference;
    const float r = 0.25f, growth = 1.0f / 16.0f, step = 0.6f * growth;
    const float dx = 2.501f; // just past a cell edge of the grid the 65 bodies make
    const uint32_t d = AddBall(1, dx, 0, 100);
    const float from = dx - 0.9f * growth + 2 * step;
    AddBall(2, from + r * 0.109f, r * 1.8968f, 100); // D's new step starts inside it
    for (uint32_t n = 3; n <= 64; ++n) {
        AddBall(n, 5.0f * static_cast<float>((n - 3) / 8), 0,
                5.0f * static_cast<float>((n - 3) % 8));
    }
    const uint32_t s = AddBall(65, dx - 3.0f, 0, 100);
    SetCollisionsVOR(1, 1, 1, 2, 1);
    vor::CollisionDefinition *def = vor::ListHead<vor::CollisionDefinition>(vor::DefinitionList);
    vor::ResetStats();
    // Iteration 1: every body stands still; the grid is built and kept.
    vor::Pass.sweepIteration = 1;
    vor::Pass.sweepPhase = 2;
    vor::RetireMotionRecords();
    vor::OpenMotionRecords();
    vor::SweepDefinition(def);
    // Iteration 2: D, S and one more body move (three moving sources use the grid).
    vor::Pass.sweepIteration = 2;
    vor::MotionRecord *md = vor::CreateMotionRecord(BodyOf(d));
    md->start = {from, 0, 100};
    md->end = {from + step, 0, 100};
    const float back = from - 3.5f * step;            // D's centre at its time -3.5
    const float reach = back - 2 * r + 0.1f * growth; // S just within reach of it there
    vor::MotionRecord *ms = vor::CreateMotionRecord(BodyOf(s));
    ms->start = {reach, 0, 100};
    ms->end = {reach + 0.005f, 0, 100};
    vor::MotionRecord *mf = vor::CreateMotionRecord(BodyOf(10));
    mf->start = BodyOf(10)->newPosition;
    mf->end = BodyOf(10)->newPosition;
    vor::SweepDefinition(def);
    Outcome o;
    o.work = vor::ThreadStats();
    o.overlapped = o.work.pairsOverlapped;
    const vor::ContactRecord *c = vor::LatestMotion(BodyOf(s))->nearest;
    o.sourceHit = c != nullptr;
    o.sourceTime = c != nullptr ? c->time : 0.0;
    vor::ReleasePairGrid();
    vor::ReferenceScans = false;
    return o;
}

} // namespace

class PairGridTest : public HostTest {};

// The escaped source must meet D through the slots whose time fell below what lists hold: the
// kept cells hold D's old box, which its new step's hull from -3.5 leaves.
TEST_F(PairGridTest, AnEscapedSourceMeetsADestinationWhoseTimeFellFarBack) {
    const Outcome plain = RunEarlyDestinationAgainstEscapedSource(true);
    const Outcome kept = RunEarlyDestinationAgainstEscapedSource(false);
    ASSERT_TRUE(plain.sourceHit);
    EXPECT_EQ(kept.sourceHit, plain.sourceHit);
    EXPECT_EQ(kept.sourceTime, plain.sourceTime);
    EXPECT_EQ(kept.overlapped, plain.overlapped);
    // The case it is about: the grid taken up, S escaped, D's time below the lists' reach.
    EXPECT_EQ(kept.work.gridReuses, 1u);
    EXPECT_GE(kept.work.gridEscapes, 1u);
    EXPECT_GE(kept.work.gridEarly, 1u);
}
