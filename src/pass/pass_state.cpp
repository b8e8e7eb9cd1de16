// STUB: placeholder so the tree links; its owner replaces this file.
#include "pass/pass_state.h"
namespace vor {
uint8_t sweepNeeded = 0;
int32_t sweepIteration = 0;
int32_t sweepPhase = 0;
} // namespace vor
