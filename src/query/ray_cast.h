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

// True when the current ray has a length (not 0, not NaN); otherwise no test records a hit.
bool RayHasLength();
// Tests the first shape of the kind of object n against the current ray (n must exist).
void RayAgainstObject(uint32_t n, int32_t kind);
// What RayAgainstObject(n, ellipsoid kind) does once UnitRayEntry has passed, for a caller that
// ran that test itself on the same bits (the first ellipsoid's radii, the resolved position as
// `centre`) and made `dist` with EllipsoidHitDistance; the ray must have a length.
void RayAgainstEllipsoidEntered(uint32_t n, const Vec3 &centre, float dist);

// The per-triangle body of the mesh test, in world space: records a nearer front-face hit.
// A coarser search over the triangles may call it for its survivors, in list order.
void RayAgainstTriangle(const MeshTriangle &triangle, CollisionBody *body);
// The same on the triangle's world corners (TransformPoint of its corners by the body's matrix).
void RayAgainstWorldTriangle(const Vec3 &t1, const Vec3 &t2, const Vec3 &t3, CollisionBody *body);

} // namespace vor
