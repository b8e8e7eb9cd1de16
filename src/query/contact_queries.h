// The collision stack over ActiveList and the contact queries of the last pass.
#pragma once

#include <cstdint>

#include "core/module_state.h"
#include "core/records.h"

namespace vor {

struct MotionRecord;

void ResetCollisionStack();
int32_t PeekCollisionStack();
int32_t CountCollisions(const CollisionBody *body);
// The record whose nearest contact is contact number index (from 1), or null after reporting.
MotionRecord *SelectContact(uint32_t n, uint32_t index);

} // namespace vor
