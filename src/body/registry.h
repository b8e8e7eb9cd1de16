// The object registry: module-wide tables and lists of objects, bodies, active entries and
// shape lists, with creation, destruction and activation.
#pragma once

#include <cstdint>

#include "core/module_state.h"
#include "core/records.h"
#include "core/thresholds.h"

namespace vor {

// The ShapeLists list of (kind, type), or null when the pair has none.
IntrusiveList *ShapeListFor(int32_t kind, int32_t type);

// Commands after validation (the caller has checked the number and type).
void CreateObject(uint32_t n, uint32_t type);
void FreeObject(uint32_t n);
void ActivateObject(uint32_t n);
void DeactivateObject(uint32_t n);
void AddShape(uint32_t n, int32_t kind);

void RemoveActiveEntry(ActiveEntry *entry);
void DeactivateBody(CollisionBody *body);
// Deactivates, frees motion records and shapes, makes every contact forget it, frees it.
void DestroyBody(CollisionBody *body);
void DestroyObject(CollisionObject *object);

#ifdef VOR_VALIDATE
// Object table and list agree; every active shape in exactly one shape list. Aborts otherwise.
void ValidateRegistry();
#else
inline void ValidateRegistry() {}
#endif

} // namespace vor
