// The collision response: stop, slide, stand, or crease at a concave corner.
#pragma once

#include "math/vec3.h"

namespace vor {

struct ContactRecord;

// Writes outCentre/outPosition/correction into the contact; true when another iteration is needed.
bool ApplyResponse(ContactRecord *contact);

// The slide normal at the crease of contact c with the earlier contact p: c's normal turned into
// p's surface, normalised; c's own normal when the two normals are perpendicular.
Vec3 CreaseNormal(const ContactRecord *c, const ContactRecord *p);

} // namespace vor
