// Overlap recovery, opt-in (SetOverlapRecoveryVOR): after a pass's iterations, ellipsoids that
// end inside another ellipsoid or a mesh they collide with are given a push out, which is then
// swept like any other step.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vor {

// Gives every active body that ends the pass inside something it recovers from a push step of
// its own, and answers how many got one (0 when recovery is off everywhere: nothing is touched).
// The pushes are all worked out from the positions the pass left, before any is applied, so
// they do not depend on the order of activation.
uint32_t OpenRecoverySteps();
// After the push steps have been swept: each pushed body's records of the pass in one list again.
void CloseRecoverySteps();
// The working arrays the recovery keeps from pass to pass, freed (StopCollisionVOR).
void FreeRecoveryScratch();
// The same once no definition recovers any more (SetOverlapRecoveryVOR, and each pass that
// sweeps).
void FreeRecoveryScratchWhenOff();
// The bytes those arrays hold.
size_t RecoveryScratchBytes();

} // namespace vor
