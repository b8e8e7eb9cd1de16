// Radii and offsets belong to each ellipsoid: the commands write the values into every ellipsoid
// the body has at the time of the call, and mesh shapes are skipped.
#include "body/shape_params.h"

#include "core/error_report.h"
#include "core/messages.h"
#include "core/scene_epoch.h"
#include "core/thresholds.h"

namespace vor {

void SetEllipsoidRadii(CollisionObject *object, float rx, float ry, float rz) {
    // Written as "greater than zero" so that a NaN radius is rejected too.
    if (!(rx > 0.0f && ry > 0.0f && rz > 0.0f)) {
        ReportError(kMsgRadius, object->objectNumber);
        return;
    }
    ObjectChangedForRays(static_cast<int32_t>(object->objectNumber));
    for (ListLink *l = object->body->shapes.head; l != nullptr; l = l->next) {
        ShapeHead *shape = MemberOf<ShapeHead>(l);
        if (shape->kind == kEllipsoidKind) {
            AsEllipsoid(shape)->radii = MakeVec3(rx, ry, rz);
        }
    }
}

void SetEllipsoidOffset(CollisionBody *body, float x, float y, float z) {
    for (ListLink *l = body->shapes.head; l != nullptr; l = l->next) {
        ShapeHead *shape = MemberOf<ShapeHead>(l);
        if (shape->kind == kEllipsoidKind) {
            AsEllipsoid(shape)->offset = MakeVec3(x, y, z);
        }
    }
}

} // namespace vor
