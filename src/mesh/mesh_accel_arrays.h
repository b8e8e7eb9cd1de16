// The item and node arrays of a hierarchy: room reserved for what insertions append, found by
// moving an array that runs short into a larger one a slice at a time, as insertions go, instead of
// copying it whole in one call (a stall of tens of milliseconds on a large mesh).
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/records.h"
#include "mesh/mesh_accel_layout.h"

namespace vor {

// Frees both arrays and any move under way; the hierarchy then holds nothing.
void ReleaseArrays(MeshAccel *accel);
// Room for `items` more items and `nodes` more nodes; false (nothing lost) when memory runs out.
bool ReserveRoom(MeshAccel *accel, uint32_t items, uint32_t nodes);
// After nodes were changed in place: their copies in a larger array under way are made equal.
void MirrorNodes(MeshAccel *accel, const uint32_t *nodes, uint32_t count);
// Before every element is rewritten (a refit): any move under way is given up.
void CancelArrayMoves(MeshAccel *accel);
// Bytes the larger arrays under way hold.
size_t ArrayMoveBytes(const MeshAccel *accel);
// The free room the arrays are made with (a build's spare room), which sets when a move starts.
void SetRoomGiven(MeshAccel *accel, uint32_t items, uint32_t nodes);

// A move starts once an array has used half the room it was made with and its free room is below
// a thirty-second of its count, and copies enough elements for each one reserved (at least
// kArrayMovePaceLeast) to end within half the room left.
constexpr uint32_t kArrayMoveStartFraction = 32;
constexpr uint32_t kArrayMovePaceLeast = 64;
constexpr uint32_t kArrayMoveSliceLeast = 64;

} // namespace vor
