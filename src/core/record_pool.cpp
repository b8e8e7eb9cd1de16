// The record free list: take zeroed blocks from it, give them back, drain it at Stop.
#include "core/record_pool.h"

#include <cstdlib>
#include <cstring>

namespace vor {

void *TakeRecord(RecordPool *pool, size_t size) {
    PooledBlock *b = pool->head;
    if (b == nullptr) {
        return std::calloc(1, size);
    }
    pool->head = b->next;
    pool->count -= 1;
    std::memset(b, 0, size);
    return b;
}

void GiveRecord(RecordPool *pool, void *block) {
    if (pool->count >= kPoolLimit) {
        std::free(block);
        return;
    }
    PooledBlock *b = static_cast<PooledBlock *>(block);
    b->next = pool->head;
    pool->head = b;
    pool->count += 1;
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
