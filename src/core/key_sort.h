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

// Puts values[0, n) in the order SortByKey gave their keys (sorted[k].item: the place before the
// sort of the value that goes to k), in place and without a second array of values: each cycle of
// the order is walked once. Leaves sorted's items spent.
template <typename T> void ArrangeAsSorted(T *values, KeyedItem *sorted, uint32_t n) {
    constexpr uint32_t kPlaced = ~uint32_t{0};
    for (uint32_t i = 0; i < n; ++i) {
        if (sorted[i].item == kPlaced) {
            continue;
        }
        const T first = values[i];
        uint32_t at = i;
        for (uint32_t from = sorted[at].item; from != i; from = sorted[at].item) {
            values[at] = values[from];
            sorted[at].item = kPlaced;
            at = from;
        }
        values[at] = first;
        sorted[at].item = kPlaced;
    }
}

} // namespace vor
