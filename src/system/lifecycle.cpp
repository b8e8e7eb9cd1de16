// Stopping the system: every record the library holds is freed, in a fixed order, and the error
// box is disarmed. The three system settings and the error handler are kept; the module stays
// usable and later commands start again from empty tables.
#include "system/lifecycle.h"

#include "body/motion_records.h"
#include "body/registry.h"
#include "core/definitions.h"
#include "core/error_report.h"
#include "core/module_state.h"
#include "core/worker_pool.h"
#include "pass/overlap_recovery.h"
#include "pass/pair_grid.h"
#include "query/ellipsoid_ray_index.h"
#include "query/ray_cast.h"

namespace vor {

void StopCollision(bool mayWait) {
    CloseWorkerPool(mayWait);
    ReleaseThreadScratch();
    FreeRayResult();
    FreeEveryMotionRecord();
    // Each teardown takes the head of its list until the list is empty.
    while (ActiveList.head != nullptr) {
        RemoveActiveEntry(ListHead<ActiveEntry>(ActiveList));
    }
    while (ObjectList.head != nullptr) {
        DestroyObject(ListHead<CollisionObject>(ObjectList));
    }
    // Every body belongs to an object, so this finds nothing unless the registry was broken.
    while (BodyList.head != nullptr) {
        DestroyBody(ListHead<CollisionBody>(BodyList));
    }
    // After the teardown, whose every step names its object as changed for the rays' trees.
    FreeEllipsoidRayIndexes();
    ForgetPairGridHabit();
    FreeRecoveryScratch();
    FreeDefinitions();
    DrainRecordPools();
    ErrorBoxArmed = 0;
    ValidateStopped();
}

} // namespace vor
