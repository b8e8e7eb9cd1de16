// STUB: placeholder so the tree links; its owner replaces this file.
#include "core/lifecycle.h"
namespace vor {
void StopCollision() {}
} // namespace vor
