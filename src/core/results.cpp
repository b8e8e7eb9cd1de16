// STUB: placeholder so the tree links; its owner replaces this file.
#include "core/results.h"
namespace vor {
ActiveEntry *stackCursor = nullptr;
void ResetCollisionStack() {}
int32_t PeekCollisionStack() { return 0; }
int32_t CountCollisions(const CollisionBody *) { return 0; }
MotionRecord *SelectContact(uint32_t, uint32_t) { return nullptr; }
} // namespace vor
