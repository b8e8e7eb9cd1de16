// STUB: placeholder so the tree links; its owner replaces this file.
#include "mesh/mesh_sweep.h"
namespace vor {
void SweepEllipsoidMesh(CollisionDefinition *, EllipsoidShape *, MeshShape *) {}
} // namespace vor
