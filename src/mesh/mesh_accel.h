// A bounding volume hierarchy over the triangles of one mesh shape, in world coordinates (or, for
// a moving mesh, in the mesh's own), so that a sweep or a ray visits only the triangles it can
// touch. It hands out each triangle's world corners as TransformPoint gives them, so the exact
// tests read the very bits they would compute. The
// survivors come back as ascending 0-based list positions: visited in that order, ties still go
// to the first triangle in list order. Triangles added later are taken in one by one.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/records.h"

namespace vor {

// One triangle handed to the exact tests: its 0-based position in the mesh's list and its three
// world corners (corners[0..2], in stored order). boxPassed: its corners are finite and the search
// kept it by TriangleBoxTest's own comparisons on the same values (the corners' extremes divided
// by r, which division keeps in order, then 1 off), so that test would pass: the sweep skips it.
struct AccelCandidate {
    uint32_t position;
    uint8_t boxPassed;
    const Vec3 *corners;
};

// The triangles of mesh that TriangleBoxTest (s, e, corners through world and divided by r) could
// pass, by ascending list position; s and e are in unit-sphere space of r. Builds, refits or
// extends the hierarchy as needed. Answers null when the mesh is better scanned plainly (few
// triangles, radii that are not positive, no memory); *count is then 0. The list, held by the
// calling thread, stays valid until that thread's next query of any mesh.
const AccelCandidate *MeshAccelQuery(const MeshShape *mesh, const Matrix4 &world, const Vec3 &s,
                                     const Vec3 &e, const Vec3 &r, uint32_t *count);
// The same for the mesh sweep, further left to the triangles that the face, edge and corner
// tests of a unit sphere moving from s to e could touch at all.
const AccelCandidate *MeshAccelSweepQuery(const MeshShape *mesh, const Matrix4 &world,
                                          const Vec3 &s, const Vec3 &e, const Vec3 &r,
                                          uint32_t *count);

// The answer of the ray test over all of a mesh's triangles in list order, for a ray from `from`
// to `to` with unit direction dir whose nearest hit so far lies at `bound`.
struct AccelRayHit {
    uint8_t hit;    // 1 when some triangle would be recorded
    float distance; // then its distance, position and normal
    Vec3 position;
    Vec3 normal;
    uint32_t tested; // triangles given the exact test, past the grown-box test if four-wide
    uint32_t nodes;  // inner nodes opened
    uint32_t leaves; // leaves opened
    uint32_t items;  // triangles in them whose boxes were tested
    uint32_t found;  // the most hits held at once while settling ties
};
// False when the hierarchy cannot answer (the caller then scans): no hierarchy, a ray or bound
// that is not finite, or a case where skipping could not be shown harmless.
bool MeshAccelRay(const MeshShape *mesh, const Matrix4 &world, const Vec3 &from, const Vec3 &to,
                  const Vec3 &dir, float bound, AccelRayHit *out);

// Builds, refits or extends the hierarchy now, as the next query would: before a job whose threads
// search the mesh at this matrix, which then only read it.
void PrepareMeshAccel(const MeshShape *mesh, const Matrix4 &world);
// The hierarchy is rebuilt from scratch at the next query.
void MeshAccelInvalidate(MeshShape *mesh);
// Frees the hierarchy (the triangles are about to go, or the shape itself).
void FreeMeshAccel(MeshShape *mesh);

// Bytes held by the mesh's hierarchy (0 when it has none), and by its triangle records.
size_t MeshAccelBytes(const MeshShape *mesh);
size_t MeshTriangleBytes(const MeshShape *mesh);

} // namespace vor
