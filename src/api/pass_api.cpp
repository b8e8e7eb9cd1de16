// The exported collision pass.
#include "vorcollide.h"

#include "pass/pass_driver.h"
#include "query/ellipsoid_ray_index.h"

VOR_API void VOR_CALL RunCollisionVOR(void) {
    vor::RunCollisionPass();
    // The rays' trees follow the bodies now, so the first ray after the pass finds them current.
    vor::SyncEllipsoidRayIndexes();
}
