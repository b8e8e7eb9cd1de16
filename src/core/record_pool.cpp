// The record free list: take zeroed blocks from it, give them back, drain it at Stop. Workers of a
// pass make and free records at once, so each pool has a lock: uncontended, it costs an atomic
// exchange a record.
#include "core/record_pool.h"

#include <cstdlib>
#include <cstring>

namespace vor {

namespace {

void Enter(RecordPool *pool) {
    while (pool->busy.test_and_set(std::memory_order_acquire)) {
    }
}

void Leave(RecordPool *pool) {
    pool->busy.clear(std::memory_order_release);
}

// The most recently freed block, or null when the pool holds none.
PooledBlock *TakeBlock(RecordPool *pool) {
    Enter(pool);
    PooledBlock *b = pool->head;
    if (b != nullptr) {
        pool->head = b->next;
        pool->count -= 1;
    }
    Leave(pool);
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
    Enter(pool);
    const bool full = pool->count >= kPoolLimit;
    if (!full) {
        PooledBlock *b = static_cast<PooledBlock *>(block);
        b->next = pool->head;
        pool->head = b;
        pool->count += 1;
    }
    Leave(pool);
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
