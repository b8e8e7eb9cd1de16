// The three system settings; they survive StopCollisionVOR for the life of the module.
#pragma once

#include <cstdint>

namespace vor {

extern uint8_t EllipOptimize;  // 0 or 1, initially 1: stop at a second ellipsoid in a pass
extern int32_t EllipSizeMode;  // 0 smaller radii per axis, 1 larger; initially 0
extern uint32_t ConcaveMode;   // 1..7, initially 3

// The setting commands: flag and size mode store non-zero as 1; a concave mode outside 1..7 is
// reported and ignored.
void SetEllipOptimize(int32_t flag);
void SetEllipSizeMode(int32_t mode);
void SetConcaveMode(uint32_t mode);

} // namespace vor
