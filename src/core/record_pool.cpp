// The record free list: take zeroed blocks from it, give them back, drain it at Stop. Workers of a
// pass make and free records at once, so each pool has a lock: uncontended, it costs an atomic
// exchange a record.
#include "core/record_pool.h"

#include <cstdlib>
#include <cstring>

namespace vor {

namespace {

// The most recently freed block, or null when the pool holds none.
PooledBlock *TakeBlock(RecordPool *pool) {
    Enter(&pool->lock);
    PooledBlock *b = pool->head;
    if (b != nullptr) {
        pool->head = b->next;
        pool->count -= 1;
    }
    Leave(&pool->lock);
    return b;
}

} // namespace

void *TakeRecord(RecordPool *pool, size_t size) {
    PooledBlock *b = TakeBlock(pool);
    if (b == nullptr) {
        return std::calloc(1, size);
    }
    std::memset(b, 0, size);
    return b;
}

void GiveRecord(RecordPool *pool, void *block) {
    Enter(&pool->lock);
    const bool full = pool->count >= kPoolLimit;
    if (!full) {
        PooledBlock *b = static_cast<PooledBlock *>(block);
        b->next = pool->head;
        pool->head = b;
        pool->count += 1;
    }
    Leave(&pool->lock);
    if (full) {
        std::free(block);
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

} // namespace vor
