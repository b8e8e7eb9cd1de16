// The mesh definitions of an iteration, swept on several threads.
//
// Why the results cannot depend on the threads: a mesh sweep of a source reads the definition,
// the mesh's triangles, hierarchy and body pose, the settings and the pass variables, none of
// which any sweep changes (the hierarchies are made current before the job and only read during
// it), and the source body's own records, poses, look-ups and kept triangles (mesh_sweep_cache.h),
// which only that body's sweeps read or write. So the sweeps of different bodies never meet, and
// each body's sweeps run in one task, in the order the single thread would run them: every mesh
// definition in list order, and within one its sources in list order. Each body then ends with the
// very records, contact by contact, that the single thread leaves. The record pools are shared,
// behind a lock, and where a record's memory comes from is the one thing that may differ; nothing
// reads an address as a value.
//
// The ellipsoid definitions stay on the host's thread: a pair sweep reads the destination's
// latest nearest contact, which that body's own sweeps as a source change within the same phase,
// so a source's result depends on which bodies before it in list order have been swept. (Probing
// every source on the workers first and sweeping in order on the host, reusing the probes'
// candidates where they still held, was measured on a crowd of 1,000 pressing together: the
// host's own work fell to 63% while the total rose by half, which no number of threads repays.)
#include "pass/mesh_phase_tasks.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "body/motion_records.h"
#include "body/registry.h"
#include "core/definitions.h"
#include "core/module_state.h"
#include "core/worker_pool.h"
#include "pass/mesh_sweep.h"
#include "pass/pass_driver.h"

namespace vor {

namespace {

// One source of one mesh definition, with its place in the single thread's order.
struct MeshSweepItem {
    CollisionBody *body;
    CollisionDefinition *definition;
    ShapeEntry *source;
    ShapeEntry *firstDestination;
    uint32_t order;
};

// The job: items grouped by body, each group in the single thread's order; task k sweeps the
// items from runStart[k] to runStart[k + 1].
struct MeshPhaseJob {
    MeshSweepItem *items;
    uint32_t itemCount;
    uint32_t *runStart;
    uint32_t runCount;
};

bool IsMeshSweep(const CollisionDefinition *d) {
    return d->sourceKind == kEllipsoidKind && d->destinationKind == kMeshKind;
}

// Calls visit(d, sources, destinations) for every mesh definition with both lists, in list order.
template <typename Visit> void ForEachMeshDefinition(Visit visit) {
    for (CollisionDefinition *d = ListHead<CollisionDefinition>(DefinitionList); d != nullptr;
         d = MemberOf<CollisionDefinition>(d->link.next)) {
        IntrusiveList *sources = ShapeListFor(d->sourceKind, d->sourceType);
        IntrusiveList *destinations = ShapeListFor(d->destinationKind, d->destinationType);
        if (IsMeshSweep(d) && sources != nullptr && destinations != nullptr) {
            visit(d, sources, destinations);
        }
    }
}

// Every moving source of every mesh definition, in the single thread's order; null when there is
// nothing to sweep or no memory (the caller then sweeps on its own).
MeshSweepItem *CollectItems(uint32_t *count) {
    uint32_t n = 0;
    ForEachMeshDefinition([&](CollisionDefinition *, IntrusiveList *sources, IntrusiveList *) {
        n += CountMovingSources(sources, UINT32_MAX);
    });
    *count = n;
    if (n == 0) {
        return nullptr;
    }
    MeshSweepItem *items = static_cast<MeshSweepItem *>(std::malloc(sizeof(MeshSweepItem) * n));
    if (items == nullptr) {
        return nullptr;
    }
    uint32_t k = 0;
    ForEachMeshDefinition([&](CollisionDefinition *d, IntrusiveList *sources,
                              IntrusiveList *destinations) {
        for (ShapeEntry *s = ListHead<ShapeEntry>(*sources); s != nullptr;
             s = MemberOf<ShapeEntry>(s->link.next)) {
            if (MovesThisIteration(s->body)) {
                items[k] = MeshSweepItem{s->body, d, s, ListHead<ShapeEntry>(*destinations), k};
                k += 1;
            }
        }
    });
    return items;
}

// True when no body has two items (the usual case: one mesh definition, one shape a body).
bool OneItemABody(const MeshPhaseJob *job) {
    uint64_t seen[kObjectSlots / 64 + 1] = {};
    for (uint32_t i = 0; i < job->itemCount; ++i) {
        const uint32_t n = static_cast<uint32_t>(job->items[i].body->objectNumber);
        const uint64_t bit = uint64_t{1} << (n % 64);
        if ((seen[n / 64] & bit) != 0) {
            return false;
        }
        seen[n / 64] |= bit;
    }
    return true;
}

// Groups the items by body, keeping each body's own order; counts the groups into runStart.
// (Sorting a thousand items every iteration cost a crowd on a flat floor more than the workers
// saved it.)
bool GroupByBody(MeshPhaseJob *job) {
    if (!OneItemABody(job)) {
        std::sort(job->items, job->items + job->itemCount,
                  [](const MeshSweepItem &x, const MeshSweepItem &y) {
                      return x.body != y.body ? x.body < y.body : x.order < y.order;
                  });
    }
    job->runStart = static_cast<uint32_t *>(std::malloc(sizeof(uint32_t) * (job->itemCount + 1)));
    if (job->runStart == nullptr) {
        return false;
    }
    job->runCount = 0;
    for (uint32_t i = 0; i < job->itemCount; ++i) {
        if (i == 0 || job->items[i].body != job->items[i - 1].body) {
            job->runStart[job->runCount++] = i;
        }
    }
    job->runStart[job->runCount] = job->itemCount;
    return true;
}

// The hierarchies every sweep of the job may search, made current now: in the job they are only
// read.
void PrepareDestinations() {
    ForEachMeshDefinition([](CollisionDefinition *, IntrusiveList *, IntrusiveList *destinations) {
        PrepareMeshHierarchies(*destinations);
    });
}

void SweepBodyTask(void *context, uint32_t k) {
    const MeshPhaseJob *job = static_cast<const MeshPhaseJob *>(context);
    HoldNamingOnThread();
    for (uint32_t i = job->runStart[k]; i < job->runStart[k + 1]; ++i) {
        const MeshSweepItem &item = job->items[i];
        SweepSourceFrom(item.definition, item.source, item.firstDestination);
    }
}

// A thread's last task of the job done: its contacts join the bodies they name.
void HandOverThreadsContacts(void *) {
    HandOverThreadsNaming();
}

} // namespace

bool SweepMeshDefinitionsOnWorkers() {
    if (WorkerThreads() <= 1) {
        return false;
    }
    MeshPhaseJob job = {};
    job.items = CollectItems(&job.itemCount);
    if (job.items == nullptr) {
        return job.itemCount == 0;
    }
    bool swept = false;
    if (GroupByBody(&job) && job.runCount >= MinBodiesOnWorkers) {
        PrepareDestinations();
        RunTasks(job.runCount, SweepBodyTask, HandOverThreadsContacts, &job);
        swept = true;
    }
    std::free(job.runStart);
    std::free(job.items);
    return swept;
}

} // namespace vor
