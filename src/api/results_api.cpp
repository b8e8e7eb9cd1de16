// The exported results: the collision stack and the contact queries of the last pass. Every
// contact query selects its contact first (reporting a bad object or index) and answers 0 when
// there is none; selectors outside 1 to 3 answer 0 silently. Floats cross as their bit pattern.
#include "vorcollide.h"

#include "api/float_bits.h"
#include "body/motion_records.h"
#include "body/registry.h"
#include "core/error_report.h"
#include "core/thresholds.h"
#include "query/contact_queries.h"

namespace {

// x, y or z of v for axis 1, 2 or 3, as float bits; 0 for any other axis.
int32_t AxisBits(const vor::Vec3 &v, int32_t axis) {
    switch (axis) {
    case 1:
        return vor::FloatBits(v.x);
    case 2:
        return vor::FloatBits(v.y);
    case 3:
        return vor::FloatBits(v.z);
    default:
        return 0;
    }
}

// The selected contact, or null after SelectContact reported.
const vor::ContactRecord *Contact(uint32_t obj, uint32_t index) {
    const vor::MotionRecord *r = vor::SelectContact(obj, index);
    return r != nullptr ? r->nearest : nullptr;
}

} // namespace

VOR_API void VOR_CALL ResetCollisionStackVOR(void) {
    vor::ResetCollisionStack();
}

VOR_API int32_t VOR_CALL PeekCollisionStackVOR(void) {
    return vor::PeekCollisionStack();
}

VOR_API int32_t VOR_CALL CountCollisionsVOR(uint32_t obj) {
    if (vor::BadObjNumber(obj)) {
        return 0;
    }
    return vor::CountCollisions(vor::ObjectTable[obj]->body);
}

VOR_API int32_t VOR_CALL CollisionHitPos(uint32_t obj, uint32_t index, int32_t axis) {
    const vor::ContactRecord *c = Contact(obj, index);
    return c != nullptr ? AxisBits(c->point, axis) : 0;
}

VOR_API int32_t VOR_CALL CollisionHitNorm(uint32_t obj, uint32_t index, int32_t axis) {
    const vor::ContactRecord *c = Contact(obj, index);
    return c != nullptr ? AxisBits(c->normal, axis) : 0;
}

VOR_API int32_t VOR_CALL CollisionHitObj(uint32_t obj, uint32_t index) {
    const vor::ContactRecord *c = Contact(obj, index);
    if (c == nullptr || c->otherBody == nullptr) {
        return 0;
    }
    return c->otherBody->objectNumber;
}

VOR_API int32_t VOR_CALL CollisionHitType(uint32_t obj, uint32_t index) {
    const vor::ContactRecord *c = Contact(obj, index);
    if (c == nullptr || c->otherBody == nullptr) {
        return 0;
    }
    return c->otherBody->collisionType;
}

VOR_API int32_t VOR_CALL CollisionHitShape(uint32_t obj, uint32_t index) {
    const vor::ContactRecord *c = Contact(obj, index);
    return c != nullptr ? c->kind : 0;
}

VOR_API int32_t VOR_CALL CollisionHitPoly(uint32_t obj, uint32_t index) {
    const vor::ContactRecord *c = Contact(obj, index);
    if (c == nullptr || c->kind != vor::kMeshKind) {
        return 0;
    }
    return c->polygon;
}

VOR_API int32_t VOR_CALL CollisionTriCorner(uint32_t obj, uint32_t index, int32_t corner,
                                            int32_t axis) {
    const vor::ContactRecord *c = Contact(obj, index);
    if (c == nullptr || c->kind != vor::kMeshKind) {
        return 0;
    }
    switch (corner) {
    case 1:
        return AxisBits(c->corner1, axis);
    case 2:
        return AxisBits(c->corner2, axis);
    case 3:
        return AxisBits(c->corner3, axis);
    default:
        return 0;
    }
}
