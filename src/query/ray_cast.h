// Rays against the ellipsoid or mesh of one object or of every active object of a type.
#pragma once

#include <cstdint>

#include "core/module_state.h"
#include "core/records.h"

namespace vor {

// n must name an existing object (the command runs BadObjNumber first).
int32_t RayIntersectObject(uint32_t n, int32_t kind, const Vec3 &start, const Vec3 &end);
int32_t RayIntersectType(int32_t type, int32_t kind, const Vec3 &start, const Vec3 &end);
void FreeRayResult();

// The per-triangle body of the mesh test, in world space: records a nearer front-face hit.
// A coarser search over the triangles may call it for its survivors, in list order.
void RayAgainstTriangle(const MeshTriangle &triangle, CollisionBody *body);

} // namespace vor
