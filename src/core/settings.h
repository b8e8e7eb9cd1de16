// The three system settings; they survive StopCollisionVOR for the life of the module.
#pragma once

#include "core/module_state.h"
#include <cstdint>

namespace vor {

// The setting commands: flag and size mode store non-zero as 1; a concave mode outside 1..7 is
// reported and ignored.
void SetEllipOptimize(int32_t flag);
void SetEllipSizeMode(int32_t mode);
void SetConcaveMode(uint32_t mode);

} // namespace vor
