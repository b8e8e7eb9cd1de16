// STUB: placeholder so the tree links; its owner replaces this file.
#include "core/settings.h"
namespace vor {
uint8_t EllipOptimize = 1;
int32_t EllipSizeMode = 0;
uint32_t ConcaveMode = 3;
} // namespace vor
