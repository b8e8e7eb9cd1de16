// Rays by type against ellipsoids through a per-type tree of boxes round the active ellipsoids of
// the type, so a ray tests the few objects near it instead of every object of the type. The tree
// is created by the first ray by type of its type and from then on kept current: the pass brings
// it up to date as it moves bodies, and every other change (updates, activation, radii, shapes)
// is taken in by the next ray through the list of changed objects, one object at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vor {

// Casts the ray of the current RayResult (BeginRay done) against the first ellipsoid of every
// active object of the type, with the same result as the activation-order scan, to the bit.
// Answers false, having changed nothing the host can see, when the scan must answer instead:
// ray ends too large to bound safely, or no memory.
bool EllipsoidRaysByType(int32_t type);

// Brings every tree up to date with the objects changed since (after a pass, every indexed body).
void SyncEllipsoidRayIndexes();

// Frees every tree and the scratch lists (StopCollisionVOR).
void FreeEllipsoidRayIndexes();

// Bytes held by the trees and the scratch lists.
size_t EllipsoidRayIndexBytes();

// Height of the type's tree (0 without one or when empty), for the work bounds of the tests.
uint32_t EllipsoidRayIndexHeight(int32_t type);
// The largest difference between the heights of an inner node's two children in the type's tree
// (0 without one), for the tests of its balance.
uint32_t EllipsoidRayIndexLean(int32_t type);

} // namespace vor
