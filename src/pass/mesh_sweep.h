// Moving ellipsoid against the triangles of a mesh, with carrying by moving meshes.
#pragma once

#include "core/records.h"

namespace vor {

void SweepEllipsoidMesh(CollisionDefinition *d, EllipsoidShape *ellipsoid, MeshShape *mesh);
// The matrix that takes a mesh body's stored corners into the world for the mesh tests.
const Matrix4 &MeshWorldMatrix(const CollisionBody *body);

} // namespace vor
