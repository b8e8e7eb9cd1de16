// Rays by type against ellipsoids through a bounds hierarchy over the active ellipsoids of the
// type, so a ray tests the few objects near it instead of every object of the type.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vor {

// Casts the ray of the current RayResult (BeginRay done) against the first ellipsoid of every
// active object of the type, with the same result as the activation-order scan, to the bit.
// Answers false, having changed nothing the host can see, when the scan must answer instead:
// one of the first rays after a change (TypeRayIndexAfter), coordinates too large to bound
// safely, no memory.
bool EllipsoidRaysByType(int32_t type);

// Frees every hierarchy and the scratch list (StopCollisionVOR).
void FreeEllipsoidRayIndexes();

// Bytes held by the hierarchies and the scratch list.
size_t EllipsoidRayIndexBytes();

} // namespace vor
