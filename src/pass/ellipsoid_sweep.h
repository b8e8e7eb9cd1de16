// Moving ellipsoid against moving ellipsoid, in the space where both are unit spheres.
#pragma once

#include "core/records.h"

namespace vor {

void SweepEllipsoidPair(CollisionDefinition *d, EllipsoidShape *s, EllipsoidShape *t);

} // namespace vor
