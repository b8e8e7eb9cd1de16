// The three module-wide variables of the collision pass. They are never reset by Start or Stop:
// sweepNeeded keeps a raise from an update made before a Stop, and sweepPhase keeps its last
// value (2) between passes.
#include "pass/pass_state.h"

namespace vor {

uint8_t sweepNeeded = 0;
int32_t sweepIteration = 0;
int32_t sweepPhase = 0;

} // namespace vor
