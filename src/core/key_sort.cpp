// Least significant digit first, one counting pass and one placing pass a digit.
#include "core/key_sort.h"

#include <cstring>

namespace vor {

namespace {

constexpr uint32_t kDigitBits = 8;
constexpr uint32_t kDigitValues = 1u << kDigitBits;

uint32_t DigitOf(uint64_t key, uint32_t shift) {
    return static_cast<uint32_t>(key >> shift) & (kDigitValues - 1);
}

} // namespace

void SortByKey(KeyedItem *items, KeyedItem *scratch, uint32_t n) {
    if (n < 2) {
        return;
    }
    // The bits on which some two keys differ: only their digits need a round.
    uint64_t differing = 0;
    for (uint32_t i = 1; i < n; ++i) {
        differing |= items[i].key ^ items[0].key;
    }
    KeyedItem *from = items, *to = scratch;
    for (uint32_t shift = 0; shift < 64 && (differing >> shift) != 0; shift += kDigitBits) {
        if (DigitOf(differing, shift) == 0) {
            continue;
        }
        uint32_t start[kDigitValues + 1] = {};
        for (uint32_t i = 0; i < n; ++i) {
            start[DigitOf(from[i].key, shift) + 1] += 1;
        }
        for (uint32_t d = 0; d < kDigitValues; ++d) {
            start[d + 1] += start[d];
        }
        for (uint32_t i = 0; i < n; ++i) {
            to[start[DigitOf(from[i].key, shift)]++] = from[i];
        }
        KeyedItem *sorted = to;
        to = from;
        from = sorted;
    }
    if (from != items) {
        std::memcpy(items, from, sizeof(KeyedItem) * n);
    }
}

} // namespace vor
