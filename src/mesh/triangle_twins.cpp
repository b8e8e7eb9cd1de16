#include "mesh/triangle_twins.h"

#include <cstring>

namespace vor {

namespace {

uint32_t FirstWord(const AccelItem &item) {
    uint32_t bits;
    std::memcpy(&bits, &item.corner[0].x, sizeof bits);
    return bits;
}

// From the first corner and the second's x: copies agree there, other triangles seldom do.
uint32_t CornerSlot(const AccelItem &item) {
    uint32_t words[4];
    std::memcpy(words, &item.corner[0], 3 * sizeof(float));
    std::memcpy(words + 3, &item.corner[1].x, sizeof(float));
    uint64_t h = 0;
    for (uint32_t w : words) {
        h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    }
    return static_cast<uint32_t>(h >> 52) & (kTwinCacheSlots - 1);
}

} // namespace

bool SameCorners(const AccelItem &x, const AccelItem &y) {
    static_assert(sizeof x.corner == 9 * sizeof(float), "corners without padding");
    return std::memcmp(x.corner, y.corner, sizeof x.corner) == 0;
}

bool TwinOf(const AccelItem &earlier, const AccelItem &item) {
    // The first word sorts out nearly every other triangle before the whole comparison.
    return FirstWord(earlier) == FirstWord(item) && earlier.position < item.position &&
           SameCorners(earlier, item);
}

void ClearTwinCache(TwinCache *cache) {
    for (uint32_t s = 0; s < kTwinCacheSlots; ++s) {
        cache->item[s] = kNoTwin;
        cache->copies[s] = 0;
    }
}

namespace {

bool HoldsTwin(const TwinCache *cache, uint32_t slot, const AccelItem *items, uint32_t i) {
    return cache->item[slot] != kNoTwin && TwinOf(items[cache->item[slot]], items[i]);
}

void Take(TwinCache *cache, uint32_t slot, uint32_t i) {
    cache->item[slot] = i;
    cache->copies[slot] = 0;
}

} // namespace

bool PlaceItem(TwinCache *cache, const AccelItem *items, uint32_t i) {
    const uint32_t slot = CornerSlot(items[i]);
    if (HoldsTwin(cache, slot, items, i)) {
        return true;
    }
    Take(cache, slot, i);
    return false;
}

uint32_t PlaceCountingTwins(TwinCache *cache, const AccelItem *items, uint32_t i) {
    const uint32_t slot = CornerSlot(items[i]);
    if (HoldsTwin(cache, slot, items, i)) {
        return ++cache->copies[slot];
    }
    Take(cache, slot, i);
    return 0;
}

bool RepeatsEarlier(const AccelItem *items, uint32_t i) {
    for (uint32_t j = i; j > 0 && i - j < kTwinLookBack;) {
        if (TwinOf(items[--j], items[i])) {
            return true;
        }
    }
    return false;
}

} // namespace vor
