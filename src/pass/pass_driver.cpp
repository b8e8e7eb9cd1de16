// The collision pass: retire last pass's records, give every body its first step, then sweep
// and respond in iterations. Each iteration sweeps every mesh definition before every ellipsoid
// definition, then corrects each active body whose latest step hit something and opens its next
// step; iterations repeat while a response asks for another, up to kMaxPassIterations. With
// overlap recovery on, bodies that end inside something are then pushed out by more iterations.
#include "pass/pass_driver.h"

#include "body/motion_index.h"
#include "body/motion_records.h"
#include "body/registry.h"
#include "core/accel_mode.h"
#include "core/definitions.h"
#include "core/module_state.h"
#include "core/scene_epoch.h"
#include "core/thresholds.h"
#include "pass/ellipsoid_sweep.h"
#include "pass/mesh_phase_tasks.h"
#include "pass/mesh_sweep.h"
#include "pass/overlap_recovery.h"
#include "pass/pair_grid.h"
#include "pass/response.h"

namespace vor {

namespace {

constexpr int32_t kMeshPhase = 1;
constexpr int32_t kEllipsoidPhase = 2;

// Sweeps every definition of one method, in list order.
void SweepDefinitionsOf(int16_t destinationKind) {
    for (CollisionDefinition *d = ListHead<CollisionDefinition>(DefinitionList); d != nullptr;
         d = MemberOf<CollisionDefinition>(d->link.next)) {
        if (d->sourceKind == kEllipsoidKind && d->destinationKind == destinationKind) {
            SweepDefinition(d);
        }
    }
}

// The step's nearest contact came from an ellipsoid definition and names o.
bool NearestNamesBody(const MotionRecord *m, const CollisionBody *o) {
    const ContactRecord *c = m->nearest;
    // The body first: it rarely matches, and the definition is one more record to read.
    if (c == nullptr || c->otherBody != o || o == nullptr || c->definition == nullptr) {
        return false;
    }
    return IsEllipsoidDefinition(c->definition);
}

} // namespace

namespace {

void RunPassSteps() {
    // Resolved positions are about to change; nothing reads them from outside until the pass ends.
    SceneChanged();
    PassSerial += 1;
    Pass.sweepIteration = 1;
    RetireMotionRecords();
    // The pass makes its records in the order it walks them: in memory order, they are read
    // forwards (a crowd's pass took a fifth less time).
    SortPoolByAddress(&MotionRecordPool);
    SortPoolByAddress(&ContactRecordPool);
    OpenMotionRecords();
    if (Pass.sweepNeeded != 1) {
        return;
    }
    int32_t done = 0;
    if (!RunIterations(&done, kEllipsoidKind)) {
        return;
    }
    // Opt-in: bodies left inside something get a push out, swept against the meshes by further
    // iterations (the pushes already keep the ellipsoids apart).
    if (OpenRecoverySteps() > 0) {
        RunIterations(&done, kMeshKind);
        CloseRecoverySteps();
    }
}

} // namespace

void RunCollisionPass() {
    uint8_t idle = kPassesIdle;
    if (!PassGateState.compare_exchange_strong(idle, kPassRunning)) {
        return; // the module is being unloaded
    }
    RunPassSteps();
    ReleasePairGrid();
    PassGateState.store(kPassesIdle);
}

bool RunIterations(int32_t *done, int16_t lastKind) {
    // Iterate while a response asks for another; the bound ends long slides along faceted walls
    // and degenerate input alike.
    for (; *done < kMaxPassIterations; *done += 1) {
        Stats.passIterations += 1;
        Pass.sweepNeeded = 0;
        Pass.sweepPhase = kMeshPhase;
        if (!SweepMeshDefinitionsOnWorkers()) {
            SweepDefinitionsOf(kMeshKind);
        }
        if (lastKind == kEllipsoidKind) {
            Pass.sweepPhase = kEllipsoidPhase;
            SweepDefinitionsOf(kEllipsoidKind);
        }
        Pass.sweepIteration = Pass.sweepIteration + 1;
        RespondToContacts();
        if (Pass.sweepNeeded != 1) {
            *done += 1;
            return true;
        }
    }
    return false;
}

void RetireMotionRecords() {
    for (CollisionBody *b = ListHead<CollisionBody>(BodyList); b != nullptr;
         b = MemberOf<CollisionBody>(b->link.next)) {
        RetireCurrentMotion(b);
        b->creaseCounter = 0;
    }
}

void OpenMotionRecords() {
    for (CollisionBody *b = ListHead<CollisionBody>(BodyList); b != nullptr;
         b = MemberOf<CollisionBody>(b->link.next)) {
        MotionRecord *m = CreateMotionRecord(b);
        m->start = b->previousPosition;
        m->end = b->newPosition;
    }
}

void SweepDefinition(CollisionDefinition *d) {
    IntrusiveList *sources = ShapeListFor(d->sourceKind, d->sourceType);
    IntrusiveList *destinations = ShapeListFor(d->destinationKind, d->destinationType);
    if (sources == nullptr || destinations == nullptr) {
        return;
    }
    // Ellipsoid definitions at scale go through the pair grid, which gives the same results.
    const bool grid = !ReferenceScans && OpenPairGrid(d, sources, destinations);
    for (ShapeEntry *s = ListHead<ShapeEntry>(*sources); s != nullptr;
         s = MemberOf<ShapeEntry>(s->link.next)) {
        if (!MovesThisIteration(s->body)) {
            continue;
        }
        if (grid) {
            SweepSourceThroughGrid(d, s);
        } else {
            SweepSourceFrom(d, s, ListHead<ShapeEntry>(*destinations));
        }
    }
    if (grid) {
        ClosePairGrid();
    }
}

bool MovesThisIteration(const CollisionBody *b) {
    const MotionRecord *latest = LatestMotion(b);
    return latest != nullptr && latest->iteration == Pass.sweepIteration;
}

uint32_t CountMovingSources(const IntrusiveList *sources, uint32_t most) {
    uint32_t moving = 0;
    for (ShapeEntry *s = ListHead<ShapeEntry>(*sources); s != nullptr && moving < most;
         s = MemberOf<ShapeEntry>(s->link.next)) {
        moving += MovesThisIteration(s->body) ? 1 : 0;
    }
    return moving;
}

void SweepSourceFrom(CollisionDefinition *d, ShapeEntry *s, ShapeEntry *first) {
    for (ShapeEntry *t = first; t != nullptr; t = MemberOf<ShapeEntry>(t->link.next)) {
        SweepCandidate(d, s, t);
    }
}

void SweepCandidate(CollisionDefinition *d, ShapeEntry *s, ShapeEntry *t) {
    // A body never meets itself, nor a body its ellipsoid contact already names.
    if (t->body == s->body || PairAlreadyHit(s->body, d, t->body)) {
        return;
    }
    SweepShapePair(d, s->shape, t->shape);
}

bool PairAlreadyHit(CollisionBody *b, const CollisionDefinition *d, const CollisionBody *o) {
    if (!IsEllipsoidDefinition(d)) {
        return false;
    }
    // Many records: the sealed ones through the body's look-up, then the last one.
    if (const MotionIndex *index = MotionIndexOf(b)) {
        return IndexNamesBody(index, o) || NearestNamesBody(LatestMotion(b), o);
    }
    for (const MotionRecord *m = ListHead<MotionRecord>(b->currentMotion); m != nullptr;
         m = MemberOf<MotionRecord>(m->link.next)) {
        if (NearestNamesBody(m, o)) {
            return true;
        }
    }
    return false;
}

void SweepShapePair(CollisionDefinition *d, ShapeHead *s, ShapeHead *t) {
    if (t->kind == kEllipsoidKind) {
        SweepEllipsoidPair(d, AsEllipsoid(s), AsEllipsoid(t));
    } else if (t->kind == kMeshKind) {
        SweepEllipsoidMesh(d, AsEllipsoid(s), AsMesh(t));
    }
}

void RespondToContacts() {
    for (ActiveBodyEntry *e = ListHead<ActiveBodyEntry>(ActiveBodyList); e != nullptr;
         e = MemberOf<ActiveBodyEntry>(e->link.next)) {
        CollisionBody *b = e->body;
        MotionRecord *latest = LatestMotion(b);
        if (latest == nullptr || latest->nearest == nullptr) {
            continue;
        }
        // Correct the step, then carry the body on from the contact to where the response left it.
        ContactRecord *c = latest->nearest;
        if (ApplyResponse(c)) {
            Pass.sweepNeeded = 1;
        }
        MotionRecord *next = CreateMotionRecord(b);
        next->start = c->contactPosition;
        next->end = c->outPosition;
    }
}

} // namespace vor
