// The record pool: take zeroed blocks from it, give them back, drain it at Stop. Workers of a
// pass make and free records at once, so each pool has a lock, taken a batch of blocks at a time
// by each thread's cache.
#include "core/record_pool.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/module_state.h"

namespace vor {

namespace {

constexpr uint32_t kCacheBatch = 32;
// The address sort: digits of 11 bits of a block's offset from the lowest block, in units of 8
// bytes (every block is at least that aligned).
constexpr uint32_t kRadixBits = 11;
constexpr uint32_t kRadixBuckets = 1u << kRadixBits;
constexpr uint32_t kAddressUnitShift = 3;

// The block to be taken next, or null when the pool holds none.
PooledBlock *TakeBlock(RecordPool *pool) {
    Enter(&pool->lock, InParallelJob != 0);
    PooledBlock *b = nullptr;
    if (pool->count > 0) {
        pool->count -= 1;
        b = pool->blocks[pool->count];
    }
    Leave(&pool->lock, InParallelJob != 0);
    return b;
}

// Room for one more block in the array, within kPoolLimit; false when there is none.
bool RoomForBlock(RecordPool *pool) {
    if (pool->count < pool->capacity) {
        return true;
    }
    if (pool->capacity >= kPoolLimit) {
        return false;
    }
    const uint32_t grown = pool->capacity < 64 ? 64 : 2 * pool->capacity;
    const uint32_t capacity = grown < kPoolLimit ? grown : kPoolLimit;
    void *array = std::realloc(pool->blocks, sizeof(PooledBlock *) * capacity);
    if (array == nullptr) {
        return false;
    }
    pool->blocks = static_cast<PooledBlock **>(array);
    pool->capacity = capacity;
    return true;
}

// Puts block in the pool, to be taken next, or frees it when the pool is full; the lock is held.
void ReturnBlock(RecordPool *pool, PooledBlock *block) {
    if (!RoomForBlock(pool)) {
        std::free(block);
        return;
    }
    pool->blocks[pool->count] = block;
    pool->count += 1;
}

// Moves up to n blocks from the cache to the pool.
void ReturnCached(RecordPool *pool, PoolCache *cache, uint32_t n) {
    Enter(&pool->lock, true);
    for (; n > 0 && cache->head != nullptr; --n) {
        PooledBlock *b = cache->head;
        cache->head = b->next;
        cache->count -= 1;
        ReturnBlock(pool, b);
    }
    Leave(&pool->lock, true);
}

// A block from the calling thread's cache, refilled by a batch from the pool when empty.
PooledBlock *TakeCached(RecordPool *pool) {
    PoolCache &cache = RecordPoolCaches[pool->cacheSlot];
    if (cache.head == nullptr) {
        Enter(&pool->lock, true);
        for (uint32_t n = 0; n < kCacheBatch && pool->count > 0; ++n) {
            pool->count -= 1;
            PooledBlock *b = pool->blocks[pool->count];
            b->next = cache.head;
            cache.head = b;
            cache.count += 1;
        }
        Leave(&pool->lock, true);
    }
    PooledBlock *b = cache.head;
    if (b != nullptr) {
        cache.head = b->next;
        cache.count -= 1;
    }
    return b;
}

} // namespace

void *TakeRecord(RecordPool *pool, size_t size) {
    PooledBlock *b = InParallelJob != 0 ? TakeCached(pool) : TakeBlock(pool);
    if (b == nullptr) {
        return std::calloc(1, size);
    }
    std::memset(b, 0, size);
    return b;
}

void GiveRecord(RecordPool *pool, void *block) {
    PooledBlock *b = static_cast<PooledBlock *>(block);
    if (InParallelJob != 0) {
        PoolCache &cache = RecordPoolCaches[pool->cacheSlot];
        b->next = cache.head;
        cache.head = b;
        cache.count += 1;
        if (cache.count > 2 * kCacheBatch) {
            ReturnCached(pool, &cache, kCacheBatch);
        }
        return;
    }
    ReturnBlock(pool, b);
}

void FlushPoolCache(RecordPool *pool) {
    PoolCache &cache = RecordPoolCaches[pool->cacheSlot];
    if (cache.count > 0) {
        ReturnCached(pool, &cache, cache.count);
    }
}

void SortPoolByAddress(RecordPool *pool) {
    const uint32_t n = pool->count;
    if (n < 2) {
        return;
    }
    if (n > pool->sortCapacity) {
        void *grown = std::realloc(pool->sortScratch, sizeof(PooledBlock *) * n);
        if (grown == nullptr) {
            return; // the order is only for speed
        }
        pool->sortScratch = static_cast<PooledBlock **>(grown);
        pool->sortCapacity = n;
    }
    PooledBlock **from = pool->blocks, **to = pool->sortScratch;
    uintptr_t lowest = UINTPTR_MAX, highest = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uintptr_t at = reinterpret_cast<uintptr_t>(from[i]);
        lowest = at < lowest ? at : lowest;
        highest = at > highest ? at : highest;
    }
    // Least significant digit first, each round stable, until the widest offset's digits are
    // used; digits counted down, so that the lowest address ends last, taken first.
    const uintptr_t widest = (highest - lowest) >> kAddressUnitShift;
    for (uint32_t shift = 0; shift < sizeof(uintptr_t) * 8 && (widest >> shift) != 0;
         shift += kRadixBits) {
        uint32_t start[kRadixBuckets + 1] = {};
        const auto digit = [&](const PooledBlock *b) {
            const uintptr_t offset = (reinterpret_cast<uintptr_t>(b) - lowest) >> kAddressUnitShift;
            return kRadixBuckets - 1 -
                   static_cast<uint32_t>((offset >> shift) & (kRadixBuckets - 1));
        };
        for (uint32_t i = 0; i < n; ++i) {
            start[digit(from[i]) + 1] += 1;
        }
        for (uint32_t d = 0; d < kRadixBuckets; ++d) {
            start[d + 1] += start[d];
        }
        for (uint32_t i = 0; i < n; ++i) {
            to[start[digit(from[i])]++] = from[i];
        }
        PooledBlock **sorted = to;
        to = from;
        from = sorted;
    }
    if (from != pool->blocks) {
        std::memcpy(pool->blocks, from, sizeof(PooledBlock *) * n);
    }
}

void DrainPool(RecordPool *pool) {
    for (uint32_t i = 0; i < pool->count; ++i) {
        std::free(pool->blocks[i]);
    }
    std::free(pool->blocks);
    std::free(pool->sortScratch);
    pool->blocks = nullptr;
    pool->sortScratch = nullptr;
    pool->count = pool->capacity = pool->sortCapacity = 0;
}

const PoolCache &ThreadPoolCache(const RecordPool *pool) {
    return RecordPoolCaches[pool->cacheSlot];
}

} // namespace vor
