// Every piece of module-wide state, in one list, grouped by how long it lives. Anything added here
// must be added to its group, and a variable cleared by StopCollisionVOR must be cleared by the
// stop sequence (system/lifecycle.cpp), which ValidateStopped checks in debug builds.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/error_report.h"
#include "core/intrusive_list.h"
#include "core/record_pool.h"
#include "core/records.h"
#include "core/spin_lock.h"
#include "core/stats.h"
#include "core/thresholds.h"
#include "math/vec3.h"
#include "vorcollide.h"

namespace vor {

struct TypeRayIndex; // private to query/ellipsoid_ray_index.cpp
struct WorkerPool;   // private to core/worker_pool.cpp

// The growing arrays a hierarchy search hands its candidates out in: one set per thread, so that
// workers can search the same mesh at once. Byte-free: capacities count entries.
struct SearchBuffers {
    void *candidates; // AccelCandidate[candidateCapacity]
    uint32_t candidateCapacity;
    void *worldItems; // AccelItem[worldCapacity], world corners of an own-frame search
    uint32_t worldCapacity;
    void *sortKeys; // KeyedItem[sortKeyCapacity], for putting many candidates in list order
    uint32_t sortKeyCapacity;
};

// The collision pass's variables; fields keep the names the pass is described with.
struct PassState {
    uint8_t sweepNeeded;    // raised by updates that change a transform and by responses
    int32_t sweepIteration; // iteration within the pass, from 1; stamps MotionRecords
    int32_t sweepPhase;     // 1 mesh definitions, 2 ellipsoid definitions; stamps contacts
};

// The last ray query's result; created by the first query, freed by StopCollisionVOR.
struct RayResult {
    CollisionBody *hitBody; // body of the nearest hit
    int32_t hitObject;      // its object number
    Vec3 from, to;
    Vec3 direction; // unit
    float length;
    uint8_t hit; // 1 once a hit is recorded in this query
    Vec3 normal;
    Vec3 position;
    float distance;  // to the nearest hit; starts at length
    int32_t hitType; // collision type of the hit body, taken when the hit is recorded
};

// --- Kept for the life of the module: Start and Stop leave these as they are. ---

// Concave modes, as the host numbers them; what each folds is told in the public header.
enum ConcaveModeCode : uint32_t {
    kConcaveNever = VOR_CONCAVE_NEVER,
    kConcaveUnlessLeaning = VOR_CONCAVE_UNLESS_LEANING,
    kConcaveFaces = VOR_CONCAVE_FACES,
    kConcaveFacesEdges = VOR_CONCAVE_FACES_EDGES,
    kConcaveSlideFirst = VOR_CONCAVE_SLIDE_FIRST,
    kConcaveFoldFirst = VOR_CONCAVE_FOLD_FIRST,
    kConcaveAlways = VOR_CONCAVE_ALWAYS,
};

// Initial values of the system settings.
constexpr uint8_t kDefaultEllipOptimize = 1;
constexpr int32_t kDefaultEllipSizeMode = 0;
constexpr uint32_t kDefaultConcaveMode = kConcaveFaces;
constexpr uint8_t kDefaultOverlapRecovery = 0;

extern uint8_t EllipOptimize;         // 0 or 1, initially 1: stop at a second ellipsoid in a pass
extern int32_t EllipSizeMode;         // 0 smaller radii per axis, 1 larger; initially 0
extern uint32_t ConcaveMode;          // 1..7 (ConcaveModeCode), initially 3
extern uint8_t OverlapRecovery;       // 0 or 1, initially 0: every definition recovers overlaps
extern ErrorHandler HostErrorHandler; // where reports go; initially the platform's box
extern void *HostErrorUser;           // handed back to HostErrorHandler
extern Vec3 PendingPosition;          // set by SetObjPosVOR, read by every UpdateObjVOR
extern Vec3 PendingRotation;          // degrees, set by SetObjRotVOR
// sweepNeeded keeps a raise from an update made before a Stop; sweepPhase keeps its last value.
extern PassState Pass;
// False (the default): meshes use their triangle hierarchy and ellipsoid definitions the pair
// grid. True: every sweep and ray visits every triangle and every destination in list order.
extern bool ReferenceScans;
// Only counts, for the benchmarks; nothing in the library reads it. One per thread: a worker's
// counts join the host's thread's at the end of each job.
extern thread_local WorkCounters Stats;
// Raised by every command that may change what a ray by type reads (core/scene_epoch.h); only
// grows, so a search structure built at an older value is never mistaken for current.
extern uint64_t SceneEpoch;
// Activation order as a number: each activation takes the next value (ActiveEntry::order).
extern uint64_t ActivationCounter;
// Mesh shapes as made: each takes the next value (MeshShape::serial), never given twice.
extern uint64_t MeshShapeCounter;
// Threads a pass may use, the host's included (SetWorkerCountVOR); 1, the default, starts none.
extern int32_t WorkerThreadWish;
// Fewer bodies sweeping against meshes stay on the host's thread; kMinBodiesOnWorkers, lowered
// only by tests, so that small scenes exercise the workers.
extern uint32_t MinBodiesOnWorkers;

// --- Cleared by StopCollisionVOR, in this order. ---

extern RayResult *LastRay;                               // null until the first ray query
extern ActiveEntry *StackCursor;                         // next entry PeekCollisionStackVOR answers
extern ActiveEntry *ActiveTable[kObjectSlots];           // by object number; null where inactive
extern IntrusiveList ActiveList;                         // ActiveEntries, activation order
extern IntrusiveList ActiveBodyList;                     // ActiveBodyEntries
extern IntrusiveList ShapeLists[3][kCollisionTypeCount]; // ShapeEntries by (kind 1 or 2, type)
extern CollisionObject *ObjectTable[kObjectSlots];       // by object number; null where free
extern IntrusiveList ObjectList;                         // CollisionObjects, creation order
extern IntrusiveList BodyList;                           // CollisionBodies, creation order
extern IntrusiveList DefinitionList;                     // CollisionDefinitions, creation order
extern uint8_t ErrorBoxArmed; // 1 after StartCollisionDebugVOR until the next report or Stop
// Rays by type against ellipsoids (query/ellipsoid_ray_index.cpp): a tree per collision type,
// created by its first such ray and kept current from then on; the traversal stack and the
// candidate list the rays share.
extern TypeRayIndex *TypeRayIndexes[kCollisionTypeCount];
// A node waiting on a ray tree's traversal stack, with the least distance along the ray at which
// anything inside it can be hit.
struct TypeRayVisit {
    uint32_t node;
    float nearest;
};
extern TypeRayVisit *TypeRayScratch; // traversal stack
extern uint32_t TypeRayScratchCapacity;
extern uint64_t *TypeRayCandidates; // activation order << 16 | object number
extern uint32_t TypeRayCandidateCapacity;
// Objects whose ray-visible state changed since the trees last took changes in (each at most
// once: bounded by the object count), and whether a pass moved bodies since.
extern uint16_t ChangedObjects[kObjectSlots];
extern uint32_t ChangedObjectCount;
extern uint8_t ObjectChanged[kObjectSlots];
extern uint8_t BodiesMovedByPass;
// Freed motion and contact records waiting for reuse (core/record_pool.h); drained by Stop.
extern RecordPool MotionRecordPool;
extern RecordPool ContactRecordPool;
// Each thread's few freed blocks of each pool, used only within a parallel job and empty outside
// one (every thread gives them back as the job ends).
extern thread_local PoolCache RecordPoolCaches[kRecordPools];
// Held while a contact joins or leaves the list of contacts naming a body (CollisionBody::namedBy),
// which the workers of a pass change at once for a body many of them hit.
extern SpinLock NamingLock;
// Inside the tasks of a parallel job: the contacts their sweeps make wait on PendingNamingList,
// not yet on the lists of the bodies they name, until the thread hands them over under NamingLock
// in one go after its last task (a level that every character touches would otherwise pass its
// lock and its list between the cores for every contact). Null elsewhere.
extern thread_local IntrusiveList *PendingNaming;
extern thread_local IntrusiveList PendingNamingList;
// The workers, started by the first job that wants them (core/worker_pool.h); ended by Stop.
extern WorkerPool *Workers;

// Counts the passes begun over the module's life (never reset, so that a cache stamped with it
// cannot be taken for one of another pass, nor of another run of Start and Stop).
extern uint64_t PassSerial;
// The bounds cube of the mesh last bounds-tested on this thread within a pass, for ellipsoids of
// these radii: nothing it is worked out from changes within a pass (pass/mesh_sweep.cpp).
struct PassBoundsCube {
    uint64_t pass; // PassSerial when made
    const MeshShape *mesh;
    Vec3 radii;
    float half;
};
extern thread_local PassBoundsCube LastBoundsCube;

// --- Scratch within one call: freed or reset before the call returns. ---
// Except the hierarchies' candidate arrays, one set per thread, kept between searches: the host
// thread's are freed by Stop (ReleaseThreadScratch), a worker's when it ends.
extern thread_local SearchBuffers SearchScratch;
// 1 while a job's tasks run on several threads (core/worker_pool.h): shared search structures are
// then only read.
extern uint8_t InParallelJob;
// What the module's passes and its unloading agree on, as a host may exit while one of its
// threads is still inside RunCollisionVOR: kPassesIdle, kPassRunning while a pass runs, and
// kModuleUnloading once the unloading has begun to free everything (a pass then does nothing).
enum PassGate : uint8_t { kPassesIdle = 0, kPassRunning = 1, kModuleUnloading = 2 };
extern std::atomic<uint8_t> PassGateState;
void ReleaseThreadScratch();
// The pair grid's working arrays, one record (PairGridScratch in pass/pair_grid.cpp, which also
// keeps the largest working set seen, for the benchmarks), and the hierarchies' traversal stacks,
// which live on the call stack. The per-body look-ups over a pass's records (MotionIndex,
// body/motion_index.cpp) hang off their bodies and go with their records. Overlap recovery's
// working set (RecoveryScratch in pass/overlap_recovery.cpp) lives from the end of a pass's
// iterations until its pushes have been swept.

// Debug builds: aborts unless every variable of the "cleared by Stop" group is empty.
void ValidateStopped();

} // namespace vor
