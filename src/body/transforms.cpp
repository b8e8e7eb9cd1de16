// The per-frame transform update of a body: the module-wide pending pose that SetObjPosVOR and
// SetObjRotVOR fill, the update that applies it (gravity, previous and new pose, the factor
// matrices, the world matrix and its previous inverse), and the position the last pass resolved.
#include "body/transforms.h"

#include "body/motion_records.h"
#include "core/module_state.h"
#include "core/scene_epoch.h"
#include "core/thresholds.h"

namespace vor {

namespace {

// Exact comparison: any difference in any component counts, NaN included.
bool Differs(const Vec3 &a, const Vec3 &b) {
    return a.x != b.x || a.y != b.y || a.z != b.z;
}

// Reciprocal taken in double and rounded once to float; a zero factor gives an infinity.
float Reciprocal(float f) {
    return static_cast<float>(1.0 / static_cast<double>(f));
}

// World to local of the pose (position, rotation in degrees, scale): the inverse factors in the
// reverse order, T(-p) x Rz(-roll) x Ry(-yaw) x Rx(-pitch) x S(1/s).
void BuildInverse(Matrix4 *out, const Vec3 &position, const Vec3 &rotation, const Vec3 &scale) {
    Matrix4 factor;
    MakeTranslation(out, -position.x, -position.y, -position.z);
    MultiplyMatrices(out, *out, *MakeRotationZ(&factor, -rotation.z * kDegreesToRadians));
    MultiplyMatrices(out, *out, *MakeRotationY(&factor, -rotation.y * kDegreesToRadians));
    MultiplyMatrices(out, *out, *MakeRotationX(&factor, -rotation.x * kDegreesToRadians));
    MakeScaling(&factor, Reciprocal(scale.x), Reciprocal(scale.y), Reciprocal(scale.z));
    MultiplyMatrices(out, *out, factor);
}

} // namespace

Matrix4 *MakeRotationFromDegrees(Matrix4 *out, const Vec3 &degrees) {
    Matrix4 factor;
    MakeRotationX(out, degrees.x * kDegreesToRadians);
    MultiplyMatrices(out, *out, *MakeRotationY(&factor, degrees.y * kDegreesToRadians));
    MultiplyMatrices(out, *out, *MakeRotationZ(&factor, degrees.z * kDegreesToRadians));
    return out;
}

Vec3 ResolvedPosition(const CollisionBody *body) {
    const MotionRecord *latest = LatestMotion(body);
    if (latest == nullptr) {
        return body->newPosition;
    }
    if (latest->nearest != nullptr) {
        return latest->nearest->outPosition;
    }
    return latest->end;
}

const Matrix4 &MeshWorldMatrix(const CollisionBody *body) {
    return body->worldMatrix;
}

void UpdateObject(CollisionObject *object, int32_t flag) {
    const uint8_t f = static_cast<uint8_t>(flag & 0xff);
    // Gravity lowers the pending height itself, so repeated updates keep falling.
    if (f == kUpdateSweep) {
        PendingPosition.y = PendingPosition.y - object->gravity;
    }
    ApplyPose(object->body, PendingPosition, PendingRotation, object->scale, f);
}

void ApplyPose(CollisionBody *body, const Vec3 &position, const Vec3 &rotation, const Vec3 &scale,
               uint8_t f) {
    // Copies first: the arguments may be fields of the body itself.
    const Vec3 givenPosition = position;
    const Vec3 givenRotation = rotation;
    const Vec3 givenScale = scale;

    // The old pose becomes the previous one; the sweep starts where the last pass left the body.
    ObjectChangedForRays(body->objectNumber);
    body->previousPosition = ResolvedPosition(body);
    body->previousScale = body->newScale;
    body->previousRotation = body->newRotation;
    body->newPosition = givenPosition;
    body->newRotation = givenRotation;
    body->newScale = givenScale;

    // Placing: no motion to sweep, and the last pass's records no longer describe the body.
    if (f == kUpdatePlace) {
        body->previousPosition = body->newPosition;
        body->previousRotation = body->newRotation;
        body->previousScale = body->newScale;
        FreeCurrentMotion(body);
    }

    BuildInverse(&body->inversePrevious, body->previousPosition, body->previousRotation,
                 body->previousScale);

    // Rebuild only the factors whose part changed; placing rebuilds all three.
    bool changed = false;
    if (Differs(body->previousScale, body->newScale) || f == kUpdatePlace) {
        changed = changed || f == kUpdateSweep;
        MakeScaling(&body->scaleMatrix, body->newScale.x, body->newScale.y, body->newScale.z);
    }
    if (Differs(body->previousRotation, body->newRotation) || f == kUpdatePlace) {
        changed = changed || f == kUpdateSweep;
        MakeRotationFromDegrees(&body->rotationMatrix, body->newRotation);
    }
    if (Differs(body->previousPosition, body->newPosition) || f == kUpdatePlace) {
        changed = changed || f == kUpdateSweep;
        MakeTranslation(&body->translationMatrix, body->newPosition.x, body->newPosition.y,
                        body->newPosition.z);
    }

    // Scaled, then rotated, then moved to the new position.
    if (f != kUpdateSweep || changed) {
        MultiplyMatrices(&body->worldMatrix, body->scaleMatrix, body->rotationMatrix);
        MultiplyMatrices(&body->worldMatrix, body->worldMatrix, body->translationMatrix);
    }
    if (changed) {
        Pass.sweepNeeded = 1;
    }
}

} // namespace vor
