// Moving ellipsoid against the triangles of a mesh, with carrying by moving meshes.
#pragma once

#include "core/records.h"

namespace vor {

void SweepEllipsoidMesh(CollisionDefinition *d, EllipsoidShape *ellipsoid, MeshShape *mesh);

// MeshBoundsTest within a pass, the mesh's bounds cube worked out once a pass and thread for each
// mesh and size of ellipsoid tested one after the other (the same float operations).
bool PassMeshBoundsTest(const MeshShape *mesh, const Vec3 &s, const Vec3 &e,
                        const CollisionBody *body, const Vec3 &radii);

// The hierarchy of every mesh in shapes (a shape list of any kind), made current at its body's
// pose before a job on the workers, which then only read them; nothing with the plain scans.
void PrepareMeshHierarchies(const IntrusiveList &shapes);

} // namespace vor
