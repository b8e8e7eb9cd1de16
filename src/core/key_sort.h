// A sort of items by 64-bit keys, least significant digit first: no comparisons to mispredict, and
// stable, so items with equal keys keep the order they came in. Its rounds are bounded by the key's
// width (eight), and digits on which every key agrees are skipped.
#pragma once

#include <cstdint>

namespace vor {

struct KeyedItem {
    uint64_t key;
    uint32_t item;
};

// Sorts items[0, n) by key; scratch has room for n items. The sorted items end in items.
void SortByKey(KeyedItem *items, KeyedItem *scratch, uint32_t n);

} // namespace vor
