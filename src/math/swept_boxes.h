// The cheap rejection shared by the ellipsoid pair sweep and the ray tests against ellipsoids: two
// segments whose boxes, one widened, are apart on some axis.
#pragma once

#include "math/vec3.h"

namespace vor {

// Per-axis separation of segment a0-a1 from segment b0-b1 widened by margin; touching overlaps.
bool SweptBoxesOverlap(const Vec3 &a0, const Vec3 &a1, const Vec3 &b0, const Vec3 &b1,
                       float margin);

} // namespace vor
