// The module-wide variables of the collision pass.
#pragma once

#include <cstdint>

namespace vor {

extern uint8_t sweepNeeded;     // raised by updates that change a transform and by responses
extern int32_t sweepIteration;  // iteration within the pass, from 1; stamps MotionRecords
extern int32_t sweepPhase;      // 1 mesh definitions, 2 ellipsoid definitions; stamps contacts

} // namespace vor
