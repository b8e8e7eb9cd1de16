// Twins: a mesh's items whose corners are, bit for bit and in the same order, those of an item
// earlier in the mesh's list (a prop merged twice, a decal stamped again and again). A ray's test
// is a function of the corners alone, so a twin never changes which triangle a ray hits: the
// earlier one is tested first and keeps every tie (mesh_accel_ray.cpp).
//
// They are looked for where a copy lands, at a cost that does not grow with the mesh: a build
// places items with equal boxes close together (leaves hold items of nearby centres), so a copy
// meets its twin among the last few thousand items placed; an insertion appends the item after the
// copy added before it, and down the path its twin took. A twin not found is only tested like any
// other triangle.
#pragma once

#include <cstdint>

#include "mesh/mesh_accel_layout.h"

namespace vor {

bool SameCorners(const AccelItem &x, const AccelItem &y);
// True when item is a twin of earlier: the same corners, and a lower list position for earlier.
bool TwinOf(const AccelItem &earlier, const AccelItem &item);

// The items lately placed, one a slot by a hash of their corners (32 KB, so it stays in the cache).
constexpr uint32_t kTwinCacheSlots = 4096;
struct TwinCache {
    uint32_t item[kTwinCacheSlots];   // an index into the items, or kNoTwin
    uint32_t copies[kTwinCacheSlots]; // twins of that item met since it took the slot
};
constexpr uint32_t kNoTwin = 0xffffffffu;

void ClearTwinCache(TwinCache *cache);
// True when items[i] has the corners of an item placed before it with a lower list position that
// the cache still holds; otherwise items[i] takes that item's slot.
bool PlaceItem(TwinCache *cache, const AccelItem *items, uint32_t i);
// PlaceItem, counting: how many twins of that earlier item the cache has met, items[i] included;
// 0 when PlaceItem is false.
uint32_t PlaceCountingTwins(TwinCache *cache, const AccelItem *items, uint32_t i);

// How many items before it an appended item is compared with.
constexpr uint32_t kTwinLookBack = 4;
// True when items[i] has the corners of one of the kTwinLookBack items before it, of lower list
// position.
bool RepeatsEarlier(const AccelItem *items, uint32_t i);

} // namespace vor
