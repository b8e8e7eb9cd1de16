// The definitions of the module-wide state listed in core/module_state.h, with their initial
// values; a loaded module starts from exactly these.
#include "core/module_state.h"

#include <cstdio>
#include <cstdlib>

namespace vor {

uint8_t EllipOptimize = kDefaultEllipOptimize;
int32_t EllipSizeMode = kDefaultEllipSizeMode;
uint32_t ConcaveMode = kDefaultConcaveMode;
uint8_t OverlapRecovery = kDefaultOverlapRecovery;
ErrorHandler HostErrorHandler = DefaultErrorHandler;
void *HostErrorUser = nullptr;
Vec3 PendingPosition = {0.0f, 0.0f, 0.0f};
Vec3 PendingRotation = {0.0f, 0.0f, 0.0f};
PassState Pass = {0, 0, 0};
bool ReferenceScans = false;
thread_local WorkCounters Stats = {};
uint64_t SceneEpoch = 1;
uint64_t ActivationCounter = 0;
uint64_t MeshShapeCounter = 0;
int32_t WorkerThreadWish = 1;
uint32_t MinBodiesOnWorkers = kMinBodiesOnWorkers;

RayResult *LastRay = nullptr;
ActiveEntry *StackCursor = nullptr;
ActiveEntry *ActiveTable[kObjectSlots];
IntrusiveList ActiveList;
IntrusiveList ActiveBodyList;
IntrusiveList ShapeLists[3][kCollisionTypeCount];
CollisionObject *ObjectTable[kObjectSlots];
IntrusiveList ObjectList;
IntrusiveList BodyList;
IntrusiveList DefinitionList;
uint8_t ErrorBoxArmed = 0;
TypeRayIndex *TypeRayIndexes[kCollisionTypeCount] = {};
TypeRayVisit *TypeRayScratch = nullptr;
uint32_t TypeRayScratchCapacity = 0;
uint64_t *TypeRayCandidates = nullptr;
uint32_t TypeRayCandidateCapacity = 0;
uint16_t ChangedObjects[kObjectSlots] = {};
uint32_t ChangedObjectCount = 0;
uint8_t ObjectChanged[kObjectSlots] = {};
uint8_t BodiesMovedByPass = 0;
RecordPool MotionRecordPool = {nullptr, 0, 0, {}, 0, nullptr, 0};
RecordPool ContactRecordPool = {nullptr, 0, 0, {}, 1, nullptr, 0};
thread_local PoolCache RecordPoolCaches[kRecordPools] = {};
SpinLock NamingLock;
thread_local IntrusiveList *PendingNaming = nullptr;
thread_local IntrusiveList PendingNamingList = {};
WorkerPool *Workers = nullptr;
thread_local SearchBuffers SearchScratch = {};
uint64_t PassSerial = 0;
thread_local PassBoundsCube LastBoundsCube = {};
uint8_t InParallelJob = 0;
std::atomic<uint8_t> PassGateState{kPassesIdle};

void ReleaseThreadScratch() {
    std::free(SearchScratch.candidates);
    std::free(SearchScratch.worldItems);
    std::free(SearchScratch.sortKeys);
    SearchScratch = SearchBuffers{};
}

#ifdef VOR_VALIDATE
namespace {

void Require(bool condition, const char *what) {
    if (!condition) {
        std::fprintf(stderr, "ValidateStopped: %s\n", what);
        std::abort();
    }
}

bool Empty(const IntrusiveList &list) {
    return list.head == nullptr && list.tail == nullptr;
}

} // namespace

void ValidateStopped() {
    Require(LastRay == nullptr, "LastRay kept");
    Require(StackCursor == nullptr, "StackCursor kept");
    for (uint32_t n = 0; n < kObjectSlots; ++n) {
        Require(ActiveTable[n] == nullptr, "ActiveTable slot kept");
        Require(ObjectTable[n] == nullptr, "ObjectTable slot kept");
    }
    Require(Empty(ActiveList) && Empty(ActiveBodyList), "active lists kept");
    for (const auto &byType : ShapeLists) {
        for (const IntrusiveList &list : byType) {
            Require(Empty(list), "shape list kept");
        }
    }
    Require(Empty(ObjectList) && Empty(BodyList), "object lists kept");
    Require(Empty(DefinitionList), "DefinitionList kept");
    Require(ErrorBoxArmed == 0, "error box still armed");
    for (const TypeRayIndex *index : TypeRayIndexes) {
        Require(index == nullptr, "a ray index by type kept");
    }
    Require(TypeRayScratch == nullptr && TypeRayScratchCapacity == 0, "ray scratch kept");
    Require(TypeRayCandidates == nullptr && TypeRayCandidateCapacity == 0, "ray list kept");
    Require(ChangedObjectCount == 0 && BodiesMovedByPass == 0, "ray changes kept");
    const RecordPool *pools[] = {&MotionRecordPool, &ContactRecordPool};
    for (const RecordPool *pool : pools) {
        Require(pool->blocks == nullptr && pool->count == 0 && pool->sortScratch == nullptr,
                "record pools kept");
    }
    Require(Workers == nullptr, "workers kept");
    Require(SearchScratch.candidates == nullptr && SearchScratch.worldItems == nullptr &&
                SearchScratch.sortKeys == nullptr,
            "search buffers kept");
}
#else
void ValidateStopped() {}
#endif

} // namespace vor
