// Marks a change to anything a ray by type reads: resolved positions, activation, shapes, radii.
// SceneEpoch only grows. A change to one object also enters it in ChangedObjects, which the ray
// trees by type take in one object at a time; a pass, which moves many bodies, raises
// BodiesMovedByPass instead, and the trees compare every member after it.
#pragma once

#include "core/module_state.h"

namespace vor {

inline void SceneChanged() {
    SceneEpoch += 1;
    BodiesMovedByPass = 1;
}

inline void ObjectChangedForRays(int32_t objectNumber) {
    SceneEpoch += 1;
    const uint32_t n = static_cast<uint32_t>(objectNumber);
    if (n < kObjectSlots && ObjectChanged[n] == 0) {
        ObjectChanged[n] = 1;
        ChangedObjects[ChangedObjectCount++] = static_cast<uint16_t>(n);
    }
}

} // namespace vor
