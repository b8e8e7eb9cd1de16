// The record free list: take zeroed blocks from it, give them back, drain it at Stop. Workers of a
// pass make and free records at once, so each pool has a lock, taken a batch of blocks at a time
// by each thread's cache.
#include "core/record_pool.h"

#include <cstdlib>
#include <cstring>

#include "core/module_state.h"

namespace vor {

namespace {

constexpr uint32_t kCacheBatch = 32;

// The most recently freed block, or null when the pool holds none.
PooledBlock *TakeBlock(RecordPool *pool) {
    Enter(&pool->lock, InParallelJob != 0);
    PooledBlock *b = pool->head;
    if (b != nullptr) {
        pool->head = b->next;
        pool->count -= 1;
    }
    Leave(&pool->lock, InParallelJob != 0);
    return b;
}

// Puts block on the pool's list, or frees it when the list is full; the lock is held.
void ReturnBlock(RecordPool *pool, PooledBlock *block) {
    if (pool->count >= kPoolLimit) {
        std::free(block);
        return;
    }
    block->next = pool->head;
    pool->head = block;
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
        for (uint32_t n = 0; n < kCacheBatch && pool->head != nullptr; ++n) {
            PooledBlock *b = pool->head;
            pool->head = b->next;
            pool->count -= 1;
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

void DrainPool(RecordPool *pool) {
    while (pool->head != nullptr) {
        PooledBlock *b = pool->head;
        pool->head = b->next;
        std::free(b);
    }
    pool->count = 0;
}

const PoolCache &ThreadPoolCache(const RecordPool *pool) {
    return RecordPoolCaches[pool->cacheSlot];
}

} // namespace vor
