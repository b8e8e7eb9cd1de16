// STUB: placeholder so the tree links; its owner replaces this file.
#include "body/mesh_building.h"
namespace vor {
MeshTriangle *AddTriangle(MeshShape *, const Vec3 &, const Vec3 &, const Vec3 &) { return nullptr; }
void GrowBounds(MeshShape *, const Vec3 &) {}
void AddTriangleToBody(CollisionBody *, const Vec3 &, const Vec3 &, const Vec3 &) {}
void AddMeshBlock(CollisionBody *, const void *) {}
void FreeTriangles(MeshShape *) {}
} // namespace vor
