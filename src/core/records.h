// The per-object records of the registry: objects, bodies, shapes, their list entries, triangles
// and definitions. Plain structs, each beginning with its ListLink, allocated one by one.
#pragma once

#include <cstdint>

#include "vorcollide.h"

#include "core/intrusive_list.h"
#include "math/matrix4.h"
#include "math/vec3.h"

namespace vor {

// Shape kinds, as the host numbers them.
enum ShapeKind : int16_t {
    kEllipsoidKind = VOR_SHAPE_ELLIPSOID,
    kMeshKind = VOR_SHAPE_MESH,
};

// What a definition's moving ellipsoids hit; a definition's destinationKind is the same number.
enum DefinitionMethod : uint32_t {
    kEllipsoidsMethod = VOR_METHOD_ELLIPSOIDS,
    kMeshesMethod = VOR_METHOD_MESHES,
};

// What a moving body does at its nearest contact (CollisionDefinition::response).
enum ResponseMethod : int16_t {
    kStopResponse = VOR_RESPONSE_STOP,
    kSlideResponse = VOR_RESPONSE_SLIDE,
    kStandResponse = VOR_RESPONSE_STAND,
    kStandDropFallResponse = VOR_RESPONSE_STAND_DROP_FALL,
    kReportOnlyResponse = VOR_RESPONSE_REPORT_ONLY,
};

// How a moving mesh acts on bodies swept against it (CollisionDefinition::dynamicResponse).
enum DynamicResponse : int16_t {
    kDynamicStill = VOR_DYNAMIC_STILL,
    kDynamicCarryStart = VOR_DYNAMIC_CARRY_START,
    kDynamicCarryTurn = VOR_DYNAMIC_CARRY_TURN,
    kDynamicCarryRiders = VOR_DYNAMIC_CARRY_RIDERS,
};

// Construction defaults of the records below.
constexpr float kDefaultMinSlope = 0.3f;    // CollisionBody::minSlope
constexpr float kDefaultRadius = 1.0f;      // EllipsoidShape::radii, every axis
constexpr float kDefaultScaleFactor = 1.0f; // CollisionObject::scale and body scales

struct CollisionBody;
struct ShapeEntry;
struct ActiveBodyEntry;
struct MeshAccel;
struct MeshSweepCache;
struct MotionIndex;

// One per object number in use; owned by the module through ObjectTable and ObjectList.
struct CollisionObject {
    ListLink link;         // member of ObjectList
    uint32_t objectNumber; // 1..5000
    float gravity;         // subtracted from the pending y by UpdateObjVOR flag 0
    Vec3 scale;            // factors (1 = 100 %); (1, 1, 1) until SetObjScaleVOR
    CollisionBody *body;   // owned; never null while the object exists
};

// One per active object; owned by the module through ActiveTable and ActiveList.
struct ActiveEntry {
    ListLink link;           // member of ActiveList
    CollisionObject *object; // not owned
    uint64_t order;          // ActivationCounter when made: grows along ActiveList
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
    float minSlope;               // walkable when a normal's y exceeds it; default 0.3
    IntrusiveList shapes;         // owned shapes in attachment order (ShapeHead members)
    IntrusiveList currentMotion;  // owned MotionRecords of the latest pass
    IntrusiveList previousMotion; // owned MotionRecords of the pass before
    IntrusiveList namedBy;        // contacts of other bodies naming this one (not owned)
    MotionIndex *motionIndex;     // owned look-up over the sealed records of currentMotion
    uint32_t sealedRecords;       // records of currentMotion before its last one
};

// One per active body; owned by the body, member of ActiveBodyList.
struct ActiveBodyEntry {
    ListLink link;
    CollisionBody *body; // not owned
};

// Common head of both shape records; the record is cast from it by kind.
struct ShapeHead {
    ListLink link;          // member of the body's shapes
    int16_t kind;           // ShapeKind
    ShapeEntry *shapeEntry; // owned; non-null exactly while the body is active
    CollisionBody *body;    // the owner
};

// Meshes whose triangles an ellipsoid keeps at once (mesh_sweep_cache.h): the neighbouring pieces
// of a level made of several meshes each keep their own.
constexpr uint32_t kKeptMeshSlots = 4;

struct EllipsoidShape {
    ShapeHead head;
    Vec3 offset; // centre relative to the body position, world axes; default (0, 0, 0)
    Vec3 radii;  // along world x, y, z; all > 0; default (1, 1, 1)
    // Owned, one block each: the triangles of its last searches of meshes, or null.
    MeshSweepCache *sweepCache[kKeptMeshSlots];
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
    uint64_t serial; // unique to this shape (MeshShapeCounter): triangles are only appended,
                     // so a serial and a count name one list of triangles
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
    int16_t response;        // ResponseMethod
    int16_t dynamicResponse; // DynamicResponse: carrying by moving meshes
    uint8_t recoverOverlap;  // 1: overlaps left at the end of a pass are pushed out (default 0)
};

inline EllipsoidShape *AsEllipsoid(ShapeHead *s) {
    return reinterpret_cast<EllipsoidShape *>(s);
}
inline MeshShape *AsMesh(ShapeHead *s) {
    return reinterpret_cast<MeshShape *>(s);
}

} // namespace vor
