// Rays against the ellipsoid or mesh of one object or of every active object of a type.
#pragma once

#include <cstdint>

#include "core/records.h"

namespace vor {

struct RayResult {
    CollisionBody *hitBody; // body of the nearest hit
    int32_t hitObject;      // its object number
    Vec3 from, to;
    Vec3 direction;         // unit
    float length;
    uint8_t hit;            // 1 once a hit is recorded in this query
    Vec3 normal;
    Vec3 position;
    float distance;         // to the nearest hit; starts at length
    int32_t hitType;        // collision type of the hit body, taken when the hit is recorded
};

extern RayResult *rayResult; // created by the first query, freed by StopCollisionVOR

// n must name an existing object (the command runs BadObjNumber first).
int32_t RayIntersectObject(uint32_t n, int32_t kind, const Vec3 &start, const Vec3 &end);
int32_t RayIntersectType(int32_t type, int32_t kind, const Vec3 &start, const Vec3 &end);
void FreeRayResult();

// The per-triangle body of the mesh test, in world space: records a nearer front-face hit.
// A coarser search over the triangles may call it for its survivors, in list order.
void RayAgainstTriangle(const MeshTriangle &triangle, CollisionBody *body);

} // namespace vor
