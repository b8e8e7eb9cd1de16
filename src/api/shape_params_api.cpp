// Exports of the shape-parameter family: ellipsoid radii and offset, gravity, minimum slope.
// None of them starts a pass or marks one as needed.
#include "vorcollide.h"

#include "body/registry.h"
#include "body/shape_params.h"
#include "core/error_report.h"

using namespace vor;

VOR_API void VOR_CALL SetObjRadiusVOR(uint32_t obj, float rx, float ry, float rz) {
    if (BadObjNumber(obj)) {
        return;
    }
    SetEllipsoidRadii(ObjectTable[obj], rx, ry, rz);
}

VOR_API void VOR_CALL SetEllipOffsetVOR(uint32_t obj, float x, float y, float z) {
    if (BadObjNumber(obj)) {
        return;
    }
    SetEllipsoidOffset(ObjectTable[obj]->body, x, y, z);
}

// Any value is accepted, negative ones too.
VOR_API void VOR_CALL SetObjGravityVOR(uint32_t obj, float gravity) {
    if (BadObjNumber(obj)) {
        return;
    }
    ObjectTable[obj]->gravity = gravity;
}

VOR_API void VOR_CALL SetObjMinSlopeVOR(uint32_t obj, float slope) {
    if (BadObjNumber(obj)) {
        return;
    }
    ObjectTable[obj]->body->minSlope = slope;
}
