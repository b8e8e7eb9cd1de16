// A free list behind the one-by-one creation and freeing of the records a pass makes by the
// thousand (motion and contact records): a freed record's memory waits here for the next record
// of its size instead of going back to the allocator. Owners still create and free each record
// themselves, in the same order; the pool changes no answer and no order, only where the bytes
// come from. It holds at most kPoolLimit records, and the stop sequence gives them all back.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/spin_lock.h"

namespace vor {

struct PooledBlock {
    PooledBlock *next;
};

struct RecordPool {
    PooledBlock *head;        // freed blocks, most recent first
    uint32_t count;           // blocks held
    SpinLock lock;            // held while a thread changes head and count
};

// Records kept for reuse per pool; beyond this a freed record goes back to the allocator, so a
// pass that once made a million records does not hold their memory until Stop.
constexpr uint32_t kPoolLimit = 1u << 16;

// A zeroed block of size bytes (size at least a pointer, the same for every call on one pool).
void *TakeRecord(RecordPool *pool, size_t size);
// Takes back a block TakeRecord gave out.
void GiveRecord(RecordPool *pool, void *block);
// Frees every block the pool holds.
void DrainPool(RecordPool *pool);

} // namespace vor
