// STUB: placeholder so the tree links; its owner replaces this file.
#include "body/transforms.h"
namespace vor {
Vec3 pendingPosition, pendingRotation;
void UpdateObject(CollisionObject *, int32_t) {}
void ApplyPose(CollisionBody *, const Vec3 &, const Vec3 &, const Vec3 &, uint8_t) {}
Matrix4 *MakeRotationFromDegrees(Matrix4 *o, const Vec3 &) { return o; }
Vec3 ResolvedPosition(const CollisionBody *b) { return b->newPosition; }
} // namespace vor
