// One collision pass: retire and open motion records, then sweep and respond in iterations.
#pragma once

#include "core/records.h"

namespace vor {

void RunCollisionPass();
void RetireMotionRecords();
void OpenMotionRecords();
void SweepDefinition(CollisionDefinition *d);
bool PairAlreadyHit(const CollisionBody *b, const CollisionDefinition *d, const CollisionBody *o);
void SweepShapePair(CollisionDefinition *d, ShapeHead *s, ShapeHead *t);
void RespondToContacts();

} // namespace vor
