// A bounding volume hierarchy over the triangles of one mesh shape, in world coordinates, so that
// a sweep or a ray visits only the triangles whose grown box its segment may overlap. The boxes
// are made from the same world corners the per-triangle test computes, and the node test is that
// test's own comparison, so a triangle is left out only where its box test would reject it.
// The survivors come back as ascending 0-based list positions: visited in that order, ties still
// go to the first triangle in list order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/records.h"

namespace vor {

// One triangle handed to the exact tests: its 0-based position in the mesh's list and the record.
struct AccelCandidate {
    uint32_t position;
    const MeshTriangle *triangle;
};

// The triangles of mesh that TriangleBoxTest (s, e, corners through world and divided by r) could
// pass, by ascending list position; s and e are in unit-sphere space of r. Builds or refits the
// hierarchy as needed. Answers null when the mesh is better scanned plainly (few triangles, radii
// that are not positive, no memory); *count is then 0. The list, held by the mesh, stays valid
// until the mesh's next query.
const AccelCandidate *MeshAccelQuery(const MeshShape *mesh, const Matrix4 &world, const Vec3 &s,
                                     const Vec3 &e, const Vec3 &r, uint32_t *count);

// Triangles were added: the hierarchy is rebuilt at the next query.
void MeshAccelInvalidate(MeshShape *mesh);
// Frees the hierarchy (the triangles are about to go, or the shape itself).
void FreeMeshAccel(MeshShape *mesh);

// Bytes held by the mesh's hierarchy (0 when it has none), and by its triangle records.
size_t MeshAccelBytes(const MeshShape *mesh);
size_t MeshTriangleBytes(const MeshShape *mesh);

} // namespace vor
