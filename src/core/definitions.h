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
// SetOverlapRecoveryVOR after nothing: both types VOR_ALL_TYPES set the system-wide switch,
// types 0..100 the definitions declared so far from source to destination; flag non-zero is 1.
void SetOverlapRecovery(int32_t source, int32_t destination, int32_t flag);
// True when overlaps left by d are recovered: switched on for d or system-wide, responses 2 to 4.
bool RecoversOverlap(const CollisionDefinition *d);

inline bool IsEllipsoidDefinition(const CollisionDefinition *d) {
    return d->sourceKind == kEllipsoidKind && d->destinationKind == kEllipsoidKind;
}
inline bool IsMeshDefinition(const CollisionDefinition *d) {
    return d->sourceKind == kEllipsoidKind && d->destinationKind == kMeshKind;
}

} // namespace vor
