// The collision response: stop, slide, stand, or crease at a concave corner.
#pragma once

namespace vor {

struct ContactRecord;

// Writes outCentre/outPosition/correction into the contact; true when another iteration is needed.
bool ApplyResponse(ContactRecord *contact);

} // namespace vor
