// Per-object values the pass reads besides the transform: ellipsoid radii and offset, gravity
// and minimum slope. Callers have checked the object number.
#pragma once

#include "core/records.h"

namespace vor {

// Every ellipsoid of the object gets the radii, if all three are > 0; else reports the number.
void SetEllipsoidRadii(CollisionObject *object, float rx, float ry, float rz);
// Every ellipsoid of the body gets the offset; any values are accepted.
void SetEllipsoidOffset(CollisionBody *body, float x, float y, float z);

} // namespace vor
