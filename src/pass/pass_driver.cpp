// STUB: placeholder so the tree links; its owner replaces this file.
#include "pass/pass_driver.h"
namespace vor {
void RunCollisionPass() {}
void RetireMotionRecords() {}
void OpenMotionRecords() {}
void SweepDefinition(CollisionDefinition *) {}
bool PairAlreadyHit(const CollisionBody *, const CollisionDefinition *, const CollisionBody *) { return false; }
void SweepShapePair(CollisionDefinition *, ShapeHead *, ShapeHead *) {}
void RespondToContacts() {}
} // namespace vor
