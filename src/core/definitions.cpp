// Collision definitions: the module-wide list of which collision types collide, against which
// kind of shape and with which responses. Definitions are only ever added, never merged or
// replaced, and are freed all together by StopCollisionVOR.
#include "core/definitions.h"

#include "core/error_report.h"
#include "core/messages.h"
#include "core/thresholds.h"

namespace vor {

void AddDefinition(uint32_t source, uint32_t destination, uint32_t method, uint32_t response,
                   uint32_t dynamic) {
    // Checks in this order; the first failure is the one reported. Unsigned, so negatives fail.
    if (source > kMaxCollisionType) {
        ReportError(kMsgDefSourceType, source);
        return;
    }
    if (destination > kMaxCollisionType) {
        ReportError(kMsgDefDestType, destination);
        return;
    }
    if (method < kEllipsoidsMethod || method > kMaxDefinitionMethod) {
        ReportError(kMsgDefMethod, method);
        return;
    }
    if (response < kStopResponse || response > kMaxResponseMethod) {
        ReportError(kMsgDefResponse, response);
        return;
    }
    if (dynamic < kDynamicStill || dynamic > kMaxDynamicResponse) {
        ReportError(kMsgDefDynamic, dynamic);
        return;
    }
    CollisionDefinition *definition = new CollisionDefinition();
    InitMember(&definition->link);
    // Only ellipsoids move; the method survives as the kind of the destination shapes.
    definition->sourceKind = kEllipsoidKind;
    definition->destinationKind = static_cast<int16_t>(method);
    definition->sourceType = static_cast<int32_t>(source);
    definition->destinationType = static_cast<int32_t>(destination);
    definition->response = static_cast<int16_t>(response);
    definition->dynamicResponse = static_cast<int16_t>(dynamic);
    Append(&definition->link, &DefinitionList);
}

int32_t CheckShape(const CollisionBody *body, int32_t kind) {
    int32_t type = body->collisionType;
    for (ListLink *l = DefinitionList.head; l != nullptr; l = l->next) {
        const CollisionDefinition *d = MemberOf<CollisionDefinition>(l);
        if (d->sourceType == type && d->sourceKind == kind) {
            return 1;
        }
        if (d->destinationType == type && d->destinationKind == kind) {
            return 1;
        }
    }
    return 0;
}

void SetOverlapRecovery(int32_t source, int32_t destination, int32_t flag) {
    const uint8_t on = flag != 0 ? 1 : 0;
    if (source == VOR_ALL_TYPES && destination == VOR_ALL_TYPES) {
        OverlapRecovery = on;
        return;
    }
    // Unsigned, so negatives (and VOR_ALL_TYPES beside a type) fail.
    if (static_cast<uint32_t>(source) > kMaxCollisionType) {
        ReportError(kMsgRecoveryType, static_cast<uint32_t>(source));
        return;
    }
    if (static_cast<uint32_t>(destination) > kMaxCollisionType) {
        ReportError(kMsgRecoveryType, static_cast<uint32_t>(destination));
        return;
    }
    for (ListLink *l = DefinitionList.head; l != nullptr; l = l->next) {
        CollisionDefinition *d = MemberOf<CollisionDefinition>(l);
        if (d->sourceType == source && d->destinationType == destination) {
            d->recoverOverlap = on;
        }
    }
}

bool RecoversOverlap(const CollisionDefinition *d) {
    if (OverlapRecovery == 0 && d->recoverOverlap == 0) {
        return false;
    }
    return d->response >= kSlideResponse && d->response <= kStandDropFallResponse;
}

void FreeDefinitions() {
    while (DefinitionList.head != nullptr) {
        CollisionDefinition *definition = ListHead<CollisionDefinition>(DefinitionList);
        Unlink(&definition->link, &DefinitionList);
        delete definition;
    }
}

} // namespace vor
