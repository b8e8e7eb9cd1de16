// One collision pass: retire and open motion records, then sweep and respond in iterations.
#pragma once

#include <cstdint>

#include "core/records.h"

namespace vor {

void RunCollisionPass();
// Sweeps and responds until no response asks for another iteration, counting them in *done
// towards kMaxPassIterations; false when the bound cut it off. Each iteration sweeps the mesh
// definitions, then, when lastKind is kEllipsoidKind, the ellipsoid definitions.
bool RunIterations(int32_t *done, int16_t lastKind);
void RetireMotionRecords();
void OpenMotionRecords();
void SweepDefinition(CollisionDefinition *d);
// Only bodies whose latest step was opened in this iteration move.
bool MovesThisIteration(const CollisionBody *b);
// The sources that move this iteration, counted up to `most` (where a caller only asks whether
// there are that many).
uint32_t CountMovingSources(const IntrusiveList *sources, uint32_t most);
// The one loop of a source against destinations: from first to the end of its list, in order.
void SweepSourceFrom(CollisionDefinition *d, ShapeEntry *s, ShapeEntry *first);
// One source-destination pair with the driver's filters: no self pair, no pair already hit.
void SweepCandidate(CollisionDefinition *d, ShapeEntry *s, ShapeEntry *t);
// b has an ellipsoid-definition nearest contact with o in this pass (only for ellipsoid d).
bool PairAlreadyHit(CollisionBody *b, const CollisionDefinition *d, const CollisionBody *o);
void SweepShapePair(CollisionDefinition *d, ShapeHead *s, ShapeHead *t);
void RespondToContacts();

} // namespace vor
