// The record pool's address order: a pass makes its records from the pool's blocks in ascending
// memory order, whatever order they were freed in and however far apart they lie.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "body/motion_records.h"
#include "core/module_state.h"
#include "core/record_pool.h"

namespace {

// The held blocks in the order they would be taken.
std::vector<uintptr_t> HeldAddresses(const vor::RecordPool &pool) {
    std::vector<uintptr_t> held;
    for (uint32_t k = pool.count; k > 0; --k) {
        held.push_back(reinterpret_cast<uintptr_t>(pool.blocks[k - 1]));
    }
    return held;
}

class RecordPoolTest : public ::testing::Test {
  protected:
    void SetUp() override { vor::DrainRecordPools(); }
    void TearDown() override { vor::DrainRecordPools(); }
};

// Small blocks from the heap mixed with large ones the allocator maps far away, given back in a
// shuffled order: every round of the sort's digits is needed, and each block comes out once.
TEST_F(RecordPoolTest, SortingOrdersEveryHeldBlockOnceInAscendingAddressOrder) {
    vor::RecordPool *pool = &vor::MotionRecordPool;
    std::vector<void *> blocks;
    for (int k = 0; k < 3000; ++k) {
        blocks.push_back(std::malloc(k % 500 == 0 ? (1u << 21) : 48 + 16 * (k % 5)));
        ASSERT_NE(blocks.back(), nullptr);
    }
    std::mt19937 rng(5);
    std::shuffle(blocks.begin(), blocks.end(), rng);
    for (void *b : blocks) {
        vor::GiveRecord(pool, b);
    }
    ASSERT_EQ(pool->count, blocks.size());

    vor::SortPoolByAddress(pool);
    std::vector<uintptr_t> held = HeldAddresses(*pool);
    EXPECT_EQ(pool->count, blocks.size());
    ASSERT_EQ(held.size(), blocks.size());
    EXPECT_TRUE(std::is_sorted(held.begin(), held.end()));
    std::vector<uintptr_t> given;
    for (void *b : blocks) {
        given.push_back(reinterpret_cast<uintptr_t>(b));
    }
    std::sort(given.begin(), given.end());
    EXPECT_EQ(held, given);
    EXPECT_GT(given.back() - given.front(), uintptr_t{1} << 22) << "blocks not spread apart";

    // The records made next take them in that order.
    std::vector<void *> taken;
    for (size_t k = 0; k < 100; ++k) {
        taken.push_back(vor::TakeRecord(pool, 48));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(taken.back()), given[k]) << "record " << k;
    }
    for (void *b : taken) {
        vor::GiveRecord(pool, b);
    }
}

// Nothing to order, or one block: the pool stays as it is; a sorted pool sorted again is unchanged.
TEST_F(RecordPoolTest, SortingAFewBlocksOrAnOrderedPoolChangesNothing) {
    vor::RecordPool *pool = &vor::ContactRecordPool;
    vor::SortPoolByAddress(pool);
    EXPECT_EQ(pool->count, 0u);
    void *one = std::malloc(64);
    vor::GiveRecord(pool, one);
    vor::SortPoolByAddress(pool);
    ASSERT_EQ(pool->count, 1u);
    EXPECT_EQ(pool->blocks[0], one);
    for (int k = 0; k < 200; ++k) {
        vor::GiveRecord(pool, std::malloc(64));
    }
    vor::SortPoolByAddress(pool);
    const std::vector<uintptr_t> once = HeldAddresses(*pool);
    vor::SortPoolByAddress(pool);
    EXPECT_EQ(HeldAddresses(*pool), once);
    EXPECT_EQ(once.size(), 201u);
}

} // namespace
