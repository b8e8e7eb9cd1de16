// The per-object records of the registry: objects, bodies, shapes, their list entries, triangles
// and definitions. Plain structs, each beginning with its ListLink, allocated one by one.
#pragma once

#include <cstdint>

#include "core/intrusive_list.h"
#include "math/matrix4.h"
#include "math/vec3.h"

namespace vor {

struct CollisionBody;
struct ShapeEntry;
struct ActiveBodyEntry;
struct MeshAccel;

// One per object number in use; owned by the module through ObjectTable and ObjectList.
struct CollisionObject {
    ListLink link;          // member of ObjectList
    uint32_t objectNumber;  // 1..5000
    float gravity;          // subtracted from the pending y by UpdateObjVOR flag 0
    Vec3 scale;             // factors (1 = 100 %); (1, 1, 1) until SetObjScaleVOR
    CollisionBody *body;    // owned; never null while the object exists
};

// One per active object; owned by the module through ActiveTable and ActiveList.
struct ActiveEntry {
    ListLink link;           // member of ActiveList
    CollisionObject *object; // not owned
};

// One per object; owned by its object, also a member of BodyList.
struct CollisionBody {
    ListLink link;                    // member of BodyList
    int32_t collisionType;            // 0..100, fixed at creation
    int32_t objectNumber;             // 1..5000
    int32_t creaseCounter;            // creases this pass; reset at every pass
    ActiveBodyEntry *activeBodyEntry; // owned; non-null exactly while active
    Vec3 previousPosition;            // start of the next sweep
    Vec3 newPosition;                 // end of the next sweep
    Vec3 previousRotation;            // degrees (pitch, yaw, roll)
    Vec3 newRotation;                 // degrees; dynamic response 3 may add to it in a pass
    Vec3 previousScale;               // factors
    Vec3 newScale;                    // factors
    Matrix4 inversePrevious;          // world to local of the previous pose
    Matrix4 worldMatrix;              // local to world of the new pose
    Matrix4 translationMatrix;
    Matrix4 rotationMatrix;
    Matrix4 scaleMatrix;
    float minSlope;                   // walkable when a normal's y exceeds it; default 0.3
    IntrusiveList shapes;             // owned shapes in attachment order (ShapeHead members)
    IntrusiveList currentMotion;      // owned MotionRecords of the latest pass
    IntrusiveList previousMotion;     // owned MotionRecords of the pass before
};

// One per active body; owned by the body, member of ActiveBodyList.
struct ActiveBodyEntry {
    ListLink link;
    CollisionBody *body; // not owned
};

// Common head of both shape records; the record is cast from it by kind.
struct ShapeHead {
    ListLink link;          // member of the body's shapes
    int16_t kind;           // kEllipsoidKind or kMeshKind
    ShapeEntry *shapeEntry; // owned; non-null exactly while the body is active
    CollisionBody *body;    // the owner
};

struct EllipsoidShape {
    ShapeHead head;
    Vec3 offset; // centre relative to the body position, world axes; default (0, 0, 0)
    Vec3 radii;  // along world x, y, z; all > 0; default (1, 1, 1)
};

// One triangle of a mesh in the body's local coordinates, corners in the host's order.
struct MeshTriangle {
    ListLink link; // member of the mesh's triangles
    Vec3 corner1, corner2, corner3;
};

struct MeshShape {
    ShapeHead head;
    Vec3 boundsMax;          // largest local corner coordinates; meaningful once a triangle exists
    Vec3 boundsMin;          // smallest local corner coordinates
    IntrusiveList triangles; // owned MeshTriangles
    uint32_t triangleCount;  // length of triangles
    MeshAccel *accel;        // owned search structure over the triangles, or null
};

// One per shape of an active body; owned by its shape, member of one ShapeLists list.
struct ShapeEntry {
    ListLink link;
    ShapeHead *shape;      // not owned
    int32_t collisionType; // copy of the body's collisionType
    CollisionBody *body;   // the shape's body
};

// One pairing of source and destination collision types; member of DefinitionList.
struct CollisionDefinition {
    ListLink link;
    int16_t sourceKind;      // always 1: ellipsoids move
    int16_t destinationKind; // 1 for method 1 (ellipsoids), 2 for method 2 (meshes)
    int32_t sourceType;      // 0..100
    int32_t destinationType; // 0..100
    int16_t response;        // 1 stop, 2 slide, 3 slide-and-stand, 4 as 3 dropping fall, 5 report
    int16_t dynamicResponse; // 1..4: carrying by moving meshes
};

inline EllipsoidShape *AsEllipsoid(ShapeHead *s) { return reinterpret_cast<EllipsoidShape *>(s); }
inline MeshShape *AsMesh(ShapeHead *s) { return reinterpret_cast<MeshShape *>(s); }

} // namespace vor
