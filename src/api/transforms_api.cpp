// Exported transform functions: the pending pose, scale, the update and the read-back of the
// resolved position and the angles. Each validates the object number, then calls inward.
#include "vorcollide.h"

#include "api/float_bits.h"
#include "body/registry.h"
#include "body/transforms.h"
#include "core/error_report.h"
#include "core/thresholds.h"

namespace {

// The body of a validated object number.
vor::CollisionBody *BodyOf(uint32_t obj) {
    return vor::ObjectTable[obj]->body;
}

} // namespace

VOR_API void VOR_CALL SetObjPosVOR(float x, float y, float z) {
    vor::SetVector(&vor::PendingPosition, x, y, z);
}

VOR_API void VOR_CALL SetObjRotVOR(float pitch, float yaw, float roll) {
    vor::SetVector(&vor::PendingRotation, pitch, yaw, roll);
}

VOR_API void VOR_CALL SetObjScaleVOR(uint32_t obj, float sx, float sy, float sz) {
    if (vor::BadObjNumber(obj)) {
        return;
    }
    vor::Vec3 &scale = vor::ObjectTable[obj]->scale;
    scale.x = sx * vor::kPercentToFactor;
    scale.y = sy * vor::kPercentToFactor;
    scale.z = sz * vor::kPercentToFactor;
}

VOR_API void VOR_CALL UpdateObjVOR(uint32_t obj, int32_t flag) {
    if (vor::BadObjNumber(obj)) {
        return;
    }
    vor::UpdateObject(vor::ObjectTable[obj], flag);
}

VOR_API int32_t VOR_CALL PeekObjXVOR(uint32_t obj) {
    if (vor::BadObjNumber(obj)) {
        return 0;
    }
    return vor::FloatBits(vor::ResolvedPosition(BodyOf(obj)).x);
}

VOR_API int32_t VOR_CALL PeekObjYVOR(uint32_t obj) {
    if (vor::BadObjNumber(obj)) {
        return 0;
    }
    return vor::FloatBits(vor::ResolvedPosition(BodyOf(obj)).y);
}

VOR_API int32_t VOR_CALL PeekObjZVOR(uint32_t obj) {
    if (vor::BadObjNumber(obj)) {
        return 0;
    }
    return vor::FloatBits(vor::ResolvedPosition(BodyOf(obj)).z);
}

VOR_API int32_t VOR_CALL PeekObjPitch(uint32_t obj) {
    if (vor::BadObjNumber(obj)) {
        return 0;
    }
    return vor::FloatBits(BodyOf(obj)->newRotation.x);
}

VOR_API int32_t VOR_CALL PeekObjYaw(uint32_t obj) {
    if (vor::BadObjNumber(obj)) {
        return 0;
    }
    return vor::FloatBits(BodyOf(obj)->newRotation.y);
}

VOR_API int32_t VOR_CALL PeekObjRoll(uint32_t obj) {
    if (vor::BadObjNumber(obj)) {
        return 0;
    }
    return vor::FloatBits(BodyOf(obj)->newRotation.z);
}
