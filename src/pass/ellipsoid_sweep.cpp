// STUB: placeholder so the tree links; its owner replaces this file.
#include "pass/ellipsoid_sweep.h"
namespace vor {
void SweepEllipsoidPair(CollisionDefinition *, EllipsoidShape *, EllipsoidShape *) {}
bool SweptBoxesOverlap(const Vec3 &, const Vec3 &, const Vec3 &, const Vec3 &, float) { return true; }
} // namespace vor
