// Marks a change to anything a ray by type reads: resolved positions, activation, shapes, radii.
// Search structures built from that state keep the SceneEpoch they were built at (listed in
// core/module_state.h) and are rebuilt when it differs.
#pragma once

#include "core/module_state.h"

namespace vor {

inline void SceneChanged() {
    SceneEpoch += 1;
}

} // namespace vor
