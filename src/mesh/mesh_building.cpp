// Filling mesh shapes: one triangle at a time, or a whole triangle list read from a vertex block
// in the host's memory. A mesh keeps its triangles in the order given (the position counts from 1
// as the polygon index of a contact) and the per-axis box that bounds their corners.
#include "mesh/mesh_building.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "core/thresholds.h"
#include "mesh/mesh_accel.h"

namespace vor {

namespace {

// Byte offsets inside the host's vertex block.
constexpr uint64_t kVertexSizeOffset = 4;
constexpr uint64_t kVertexCountOffset = 8;
constexpr uint64_t kVertexDataOffset = 12;

// A little-endian 32-bit word at byte offset of the block, read byte by byte: the block has no
// alignment promise and its bytes are not objects of ours.
uint32_t ReadWord(const unsigned char *block, uint64_t offset) {
    unsigned char b[4];
    std::memcpy(b, block + static_cast<size_t>(offset), sizeof b);
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

float ReadFloat(const unsigned char *block, uint64_t offset) {
    const uint32_t bits = ReadWord(block, offset);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The x, y, z that begin the vertex at byte offset.
Vec3 ReadVertex(const unsigned char *block, uint64_t offset) {
    return Vec3{ReadFloat(block, offset), ReadFloat(block, offset + 4),
                ReadFloat(block, offset + 8)};
}

bool HasMeshShape(const CollisionBody *body) {
    for (ListLink *s = body->shapes.head; s != nullptr; s = s->next) {
        if (MemberOf<ShapeHead>(s)->kind == kMeshKind) {
            return true;
        }
    }
    return false;
}

} // namespace

void GrowBounds(MeshShape *shape, const Vec3 &point) {
    const Vec3 p = point;
    Vec3 &hi = shape->boundsMax;
    Vec3 &lo = shape->boundsMin;
    // Both tests on every axis, strict: equal coordinates leave the box as it is.
    if (p.x > hi.x) {
        hi.x = p.x;
    }
    if (p.x < lo.x) {
        lo.x = p.x;
    }
    if (p.y > hi.y) {
        hi.y = p.y;
    }
    if (p.y < lo.y) {
        lo.y = p.y;
    }
    if (p.z > hi.z) {
        hi.z = p.z;
    }
    if (p.z < lo.z) {
        lo.z = p.z;
    }
}

MeshTriangle *AddTriangle(MeshShape *shape, const Vec3 &a, const Vec3 &b, const Vec3 &c) {
    // Allocated first, so a failed allocation leaves the mesh and its bounds untouched.
    MeshTriangle *triangle = new (std::nothrow) MeshTriangle;
    if (triangle == nullptr) {
        return nullptr;
    }
    triangle->corner1 = a;
    triangle->corner2 = b;
    triangle->corner3 = c;

    // The first corner of the first triangle starts the box; every corner then widens it.
    if (shape->triangles.head == nullptr) {
        shape->boundsMax = triangle->corner1;
        shape->boundsMin = triangle->corner1;
    }
    GrowBounds(shape, triangle->corner1);
    GrowBounds(shape, triangle->corner2);
    GrowBounds(shape, triangle->corner3);

    InitMember(&triangle->link);
    Append(&triangle->link, &shape->triangles);
    shape->triangleCount = shape->triangleCount + 1;
    // The search structure over the triangles takes the new one in at its next query.
    return triangle;
}

void AddTriangleToBody(CollisionBody *body, const Vec3 &a, const Vec3 &b, const Vec3 &c) {
    const Vec3 p = a;
    const Vec3 q = b;
    const Vec3 r = c;
    for (ListLink *s = body->shapes.head; s != nullptr; s = s->next) {
        ShapeHead *shape = MemberOf<ShapeHead>(s);
        if (shape->kind != kMeshKind) {
            continue;
        }
        AddTriangle(AsMesh(shape), p, q, r);
    }
}

void AddMeshBlock(CollisionBody *body, const void *block) {
    if (block == nullptr) {
        return;
    }
    const unsigned char *bytes = static_cast<const unsigned char *>(block);

    // Whole triangles only; a count below 3 (or negative) adds nothing, leftovers are ignored.
    const int32_t vertexCount = static_cast<int32_t>(ReadWord(bytes, kVertexCountOffset));
    const int32_t triangleCount = vertexCount / 3;
    if (triangleCount <= 0) {
        return;
    }
    // No mesh to receive them: the vertices need not be read at all.
    if (!HasMeshShape(body)) {
        return;
    }
    // The stride actually used is the vertex size rounded down to whole words.
    const uint64_t stride = ReadWord(bytes, kVertexSizeOffset) & ~uint64_t{3};

    // Offsets in 64 bits: 3 * count * stride stays below 2^63 for any 32-bit count and size.
    uint64_t offset = kVertexDataOffset;
    for (int32_t k = 0; k < triangleCount; ++k) {
        const Vec3 a = ReadVertex(bytes, offset);
        const Vec3 b = ReadVertex(bytes, offset + stride);
        const Vec3 c = ReadVertex(bytes, offset + 2 * stride);
        AddTriangleToBody(body, a, b, c);
        offset += 3 * stride;
    }
}

void FreeTriangles(MeshShape *shape) {
    // The search structure points at the triangles: it goes first.
    FreeMeshAccel(shape);
    while (shape->triangles.head != nullptr) {
        ListLink *link = shape->triangles.head;
        Unlink(link, &shape->triangles);
        delete MemberOf<MeshTriangle>(link);
    }
    shape->triangleCount = 0;
}

} // namespace vor
