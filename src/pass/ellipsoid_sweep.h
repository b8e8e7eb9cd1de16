// Moving ellipsoid against moving ellipsoid, in the space where both are unit spheres.
#pragma once

#include "core/records.h"

namespace vor {

void SweepEllipsoidPair(CollisionDefinition *d, EllipsoidShape *s, EllipsoidShape *t);
// Per-axis separation of segment a0-a1 from segment b0-b1 widened by margin; touching overlaps.
bool SweptBoxesOverlap(const Vec3 &a0, const Vec3 &a1, const Vec3 &b0, const Vec3 &b1,
                       float margin);

} // namespace vor
