// Filling mesh shapes with triangles, singly or from a host vertex block.
#pragma once

#include "core/records.h"

namespace vor {

MeshTriangle *AddTriangle(MeshShape *shape, const Vec3 &a, const Vec3 &b, const Vec3 &c);
void GrowBounds(MeshShape *shape, const Vec3 &point);
// The triangle to every mesh shape of the body, in shape order.
void AddTriangleToBody(CollisionBody *body, const Vec3 &a, const Vec3 &b, const Vec3 &c);
// Reads the host block {word, vertexSize, vertexCount, vertices}; a null block adds nothing.
void AddMeshBlock(CollisionBody *body, const void *block);
void FreeTriangles(MeshShape *shape);

} // namespace vor
