// Moving ellipsoid against the triangles of a mesh, with carrying by moving meshes.
#pragma once

#include "core/records.h"

namespace vor {

void SweepEllipsoidMesh(CollisionDefinition *d, EllipsoidShape *ellipsoid, MeshShape *mesh);

} // namespace vor
