// The record free list: take zeroed blocks from it, give them back, drain it at Stop. Workers of a
// pass make and free records at once, so each pool has a lock: uncontended, it costs an atomic
// exchange a record.
#include "core/record_pool.h"

#include <cstdlib>
#include <cstring>

#include "core/module_state.h"

namespace vor {

namespace {

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
    Enter(&pool->lock, InParallelJob != 0);
    const bool full = pool->count >= kPoolLimit;
    if (!full) {
        PooledBlock *b = static_cast<PooledBlock *>(block);
        b->next = pool->head;
        pool->head = b;
        pool->count += 1;
    }
    Leave(&pool->lock, InParallelJob != 0);
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
