// The sort by 64-bit keys: the order of a stable comparison sort, on keys that differ in any digit
// or in none, whatever rounds it skips; and values arranged in place in the order it gives.
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "core/key_sort.h"

namespace {

using vor::KeyedItem;

// Sorts keys (items numbered in input order) both ways and compares item by item.
void ExpectStableOrder(const std::vector<uint64_t> &keys) {
    std::vector<KeyedItem> items(keys.size()), scratch(keys.size() + 1);
    for (uint32_t i = 0; i < keys.size(); ++i) {
        items[i] = KeyedItem{keys[i], i};
    }
    std::vector<KeyedItem> expected = items;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const KeyedItem &a, const KeyedItem &b) { return a.key < b.key; });
    vor::SortByKey(items.data(), scratch.data(), static_cast<uint32_t>(items.size()));
    for (size_t k = 0; k < items.size(); ++k) {
        ASSERT_EQ(items[k].key, expected[k].key) << "at " << k;
        ASSERT_EQ(items[k].item, expected[k].item) << "at " << k;
    }
}

TEST(KeySortTest, RandomKeysOfEveryWidthComeOutInStableOrder) {
    std::mt19937_64 random(7);
    for (int width : {1, 7, 8, 9, 21, 42, 63, 64}) {
        const uint64_t mask = width == 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
        for (uint32_t n : {0u, 1u, 2u, 3u, 100u, 5000u}) {
            std::vector<uint64_t> keys(n);
            for (uint64_t &k : keys) {
                k = random() & mask;
            }
            ExpectStableOrder(keys);
        }
    }
}

TEST(KeySortTest, KeysThatDifferOnlyInFewDigitsAndEqualKeysKeepTheirOrder) {
    std::mt19937_64 random(11);
    std::vector<uint64_t> packed, equal(300, 0x8000000000000001ull), highOnly;
    // Cell keys as the recovery packs them: 21 bits an axis, most digits the same for all.
    for (int k = 0; k < 2000; ++k) {
        const uint64_t x = 1000 + random() % 80, y = 500 + random() % 2, z = 3000 + random() % 80;
        packed.push_back((x << 42) | (y << 21) | z);
        highOnly.push_back((random() % 4) << 62);
    }
    ExpectStableOrder(packed);
    ExpectStableOrder(equal);
    ExpectStableOrder(highOnly);
}

// Arranges values 0..n-1 (value k first at place k) in the order of `order` (the place each value
// goes to is its index there) and checks every place.
void ExpectArranged(const std::vector<uint32_t> &order) {
    const uint32_t n = static_cast<uint32_t>(order.size());
    std::vector<KeyedItem> sorted(n);
    std::vector<uint64_t> values(n);
    for (uint32_t k = 0; k < n; ++k) {
        sorted[k] = KeyedItem{k, order[k]};
        values[k] = 1000 + k;
    }
    vor::ArrangeAsSorted(values.data(), sorted.data(), n);
    for (uint32_t k = 0; k < n; ++k) {
        ASSERT_EQ(values[k], 1000 + order[k]) << "at " << k << " of " << n;
    }
}

TEST(KeySortTest, ValuesArrangeInPlaceInTheSortedOrderWhateverItsCycles) {
    ExpectArranged({});
    ExpectArranged({0});
    ExpectArranged({1, 0});
    ExpectArranged({0, 1, 2, 3});             // every value a cycle of its own
    ExpectArranged({1, 2, 3, 4, 5, 6, 7, 0}); // one cycle through them all
    ExpectArranged({7, 6, 5, 4, 3, 2, 1, 0}); // pairs swapped
    ExpectArranged({2, 0, 1, 3, 5, 4, 6});    // cycles of three, one, two and one
    std::mt19937 random(5);
    for (uint32_t n : {3u, 33u, 1000u}) {
        for (int trial = 0; trial < 20; ++trial) {
            std::vector<uint32_t> order(n);
            for (uint32_t k = 0; k < n; ++k) {
                order[k] = k;
            }
            std::shuffle(order.begin(), order.end(), random);
            ExpectArranged(order);
        }
    }
}

} // namespace
