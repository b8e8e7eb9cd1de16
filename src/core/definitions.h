// Collision definitions: which types collide, against which kind of shape, and how.
#pragma once

#include <cstdint>

#include "core/module_state.h"
#include "core/records.h"

namespace vor {

// Validates in order and appends a definition, or reports the first failed check.
void AddDefinition(uint32_t source, uint32_t destination, uint32_t method, uint32_t response,
                   uint32_t dynamic);
// 1 when some definition uses the body's type with this shape kind (caller checked n).
int32_t CheckShape(const CollisionBody *body, int32_t kind);
void FreeDefinitions();

inline bool IsEllipsoidDefinition(const CollisionDefinition *d) {
    return d->sourceKind == kEllipsoidKind && d->destinationKind == kEllipsoidKind;
}
inline bool IsMeshDefinition(const CollisionDefinition *d) {
    return d->sourceKind == kEllipsoidKind && d->destinationKind == kMeshKind;
}

} // namespace vor
