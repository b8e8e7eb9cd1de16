// The per-frame transform update of a body, the pending pose and the resolved position.
#pragma once

#include <cstdint>

#include "core/module_state.h"
#include "core/records.h"

namespace vor {

// The values of UpdateObjVOR's flag that mean something; any other low byte moves the body
// without raising sweepNeeded.
enum UpdateFlag : uint8_t {
    kUpdateSweep = VOR_UPDATE_SWEEP, // gravity, and the next pass sweeps the motion
    kUpdatePlace = VOR_UPDATE_PLACE, // placed at once: no gravity, no sweep, records dropped
};

// UpdateObjVOR after validation: gravity for flag 0, then apply the pose to the body.
void UpdateObject(CollisionObject *object, int32_t flag);
// Applies position, rotation (degrees), scale factors with the low-byte flag f to the body.
void ApplyPose(CollisionBody *body, const Vec3 &position, const Vec3 &rotation, const Vec3 &scale,
               uint8_t f);
// Rotation matrix from degrees: X(pitch) x Y(yaw) x Z(roll).
Matrix4 *MakeRotationFromDegrees(Matrix4 *out, const Vec3 &degrees);
// Where the last pass left the body (newPosition without records).
Vec3 ResolvedPosition(const CollisionBody *body);
// The matrix that takes a mesh body's stored corners into the world for the mesh tests and rays.
const Matrix4 &MeshWorldMatrix(const CollisionBody *body);

} // namespace vor
