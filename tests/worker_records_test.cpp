// Records made on worker threads: the contacts a task makes wait on the task's own list before
// they join the lists of the bodies they name, and each thread keeps a few freed records to itself
// during a job. Both are invisible in the answers; these tests hold what they must leave behind.
#include <vector>

#include "support/pass_test_support.h"

using vor::ContactRecord;
using vor::Vec3;

namespace {

class WorkerRecordsTest : public PassInternalsTest {};

ContactRecord *NamingContact(vor::CollisionDefinition *d, vor::CollisionBody *other) {
    ContactRecord *c = vor::NewContact(1);
    float time = 0.5f;
    vor::FillContact(c, d, other, Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0.5f, 0, 0}, Vec3{1, 0, 0},
                     Vec3{-1, 0, 0}, Vec3{0, 0, 0}, time);
    return c;
}

size_t Length(const vor::IntrusiveList &list) {
    size_t n = 0;
    for (const vor::ListLink *l = list.head; l != nullptr; l = l->next) {
        ++n;
    }
    return n;
}

TEST_F(WorkerRecordsTest, ATasksContactsWaitOnItsListAndJoinTheNamedBodyAtHandOver) {
    vor::CollisionBody *level = NewBody(2);
    vor::CollisionDefinition *d = Def(1, 2);
    vor::HoldNamingOnThread();
    ContactRecord *kept = NamingContact(d, level);
    ContactRecord *dropped = NamingContact(d, level);
    ContactRecord *last = NamingContact(d, level);
    EXPECT_EQ(Length(vor::ThreadPendingNaming()), 3u);
    EXPECT_EQ(Length(level->namedBy), 0u); // nothing shared is touched inside the task
    vor::DestroyContact(dropped);          // a contact the task lets go leaves its list
    EXPECT_EQ(Length(vor::ThreadPendingNaming()), 2u);
    vor::HandOverThreadsNaming();
    EXPECT_EQ(vor::ThreadPendingNaming().head, nullptr);
    ASSERT_EQ(Length(level->namedBy), 2u);
    for (ContactRecord *c : {kept, last}) {
        EXPECT_EQ(c->namingPending, 0);
        EXPECT_EQ(c->otherBody, level);
    }
    vor::ValidateList(level->namedBy);
    // After the hand-over they leave the body's list as any contact does, and new ones join it at
    // once.
    vor::DestroyContact(kept);
    EXPECT_EQ(Length(level->namedBy), 1u);
    ContactRecord *after = NamingContact(d, level);
    EXPECT_EQ(Length(level->namedBy), 2u);
    EXPECT_EQ(after->namingPending, 0);
    vor::DestroyContact(after);
    vor::DestroyContact(last);
    EXPECT_EQ(level->namedBy.head, nullptr);
}

TEST_F(WorkerRecordsTest, AThreadsFreedRecordsGoBackToThePoolABatchAtATimeAndAllAsTheJobEnds) {
    vor::DrainRecordPools();
    vor::RecordPool *pool = &vor::ContactRecordPool;
    const vor::PoolCache &cache = vor::ThreadPoolCache(pool);
    vor::InParallelJob = 1; // as on a thread of a job
    std::vector<void *> blocks;
    for (int k = 0; k < 100; ++k) {
        blocks.push_back(vor::TakeRecord(pool, sizeof(ContactRecord)));
    }
    for (void *b : blocks) {
        vor::GiveRecord(pool, b);
    }
    // At most two batches stay with the thread; the rest went back in batches.
    EXPECT_LE(cache.count, 64u);
    EXPECT_EQ(cache.count + pool->count, 100u);
    // Taking again uses the thread's blocks, zeroed, before the pool's.
    const uint32_t cached = cache.count;
    ContactRecord *again =
        static_cast<ContactRecord *>(vor::TakeRecord(pool, sizeof(ContactRecord)));
    EXPECT_EQ(cache.count, cached - 1);
    EXPECT_EQ(again->otherBody, nullptr);
    EXPECT_EQ(again->time, 0.0);
    vor::GiveRecord(pool, again);
    vor::FlushPoolCache(pool);
    EXPECT_EQ(cache.count, 0u);
    EXPECT_EQ(cache.head, nullptr);
    EXPECT_EQ(pool->count, 100u);
    vor::InParallelJob = 0;
    vor::DrainRecordPools();
    EXPECT_EQ(pool->count, 0u);
}

// A crowd of 300 on a floor, enough for the workers: after each pass every contact naming the
// floor is on the floor's list, none still waiting, and the host thread holds no record of its own.
TEST_F(WorkerRecordsTest, AfterAPassOnWorkersEveryContactNamingTheFloorIsOnItsList) {
    constexpr uint32_t kFloor = 1000;
    SetWorkerCountVOR(2);
    NewCollObjVOR(kFloor, 2);
    AddObjShapeVOR(kFloor, 2);
    for (int i = 0; i < 30; ++i) {
        for (int j = 0; j < 30; ++j) {
            const float x = static_cast<float>(i) - 15.0f, z = static_cast<float>(j) - 15.0f;
            AddMeshTri(kFloor, x, 0, z, x, 0, z + 1, x + 1, 0, z);
            AddMeshTri(kFloor, x + 1, 0, z, x, 0, z + 1, x + 1, 0, z + 1);
        }
    }
    ActivateObjVOR(kFloor);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    for (uint32_t n = 1; n <= 300; ++n) {
        NewCollObjVOR(n, 1);
        AddObjShapeVOR(n, 1);
        SetObjRadiusVOR(n, 0.3f, 0.5f, 0.3f);
        SetObjPosVOR(static_cast<float>(n % 20) - 10.0f, 0.6f, static_cast<float>(n / 20) - 8.0f);
        UpdateObjVOR(n, VOR_UPDATE_PLACE);
        ActivateObjVOR(n);
    }
    vor::ResetStats();
    for (int pass = 0; pass < 3; ++pass) {
        for (uint32_t n = 1; n <= 300; ++n) {
            const float x = F(PeekObjXVOR(n)), z = F(PeekObjZVOR(n));
            SetObjPosVOR(x + 0.2f, 0.3f, z - 0.1f); // down into the floor and along it
            UpdateObjVOR(n, VOR_UPDATE_SWEEP);
        }
        RunCollisionVOR();
        vor::CollisionBody *floor = vor::ObjectTable[kFloor]->body;
        size_t naming = 0;
        for (uint32_t n = 1; n <= 300; ++n) {
            // This pass's records and the last pass's, which keep their contacts until the next.
            const vor::CollisionBody *body = vor::ObjectTable[n]->body;
            for (const vor::IntrusiveList *motion : {&body->currentMotion, &body->previousMotion}) {
                for (vor::ListLink *r = motion->head; r != nullptr; r = r->next) {
                    const vor::MotionRecord *m = vor::MemberOf<vor::MotionRecord>(r);
                    for (vor::ListLink *l = m->contacts.head; l != nullptr; l = l->next) {
                        const ContactRecord *c = vor::MemberOf<ContactRecord>(l);
                        EXPECT_EQ(c->namingPending, 0);
                        naming += c->otherBody == floor ? 1 : 0;
                    }
                }
            }
        }
        EXPECT_GE(naming, 300u * (pass == 0 ? 1 : 2)) << "pass " << pass;
        EXPECT_EQ(Length(floor->namedBy), naming) << "pass " << pass;
        vor::ValidateList(floor->namedBy);
        EXPECT_EQ(vor::ThreadPoolCache(&vor::MotionRecordPool).count, 0u);
        EXPECT_EQ(vor::ThreadPoolCache(&vor::ContactRecordPool).count, 0u);
    }
    EXPECT_GE(vor::ThreadStats().workerJobs, 3u);
    SetWorkerCountVOR(1);
}

} // namespace
