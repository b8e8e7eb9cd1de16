// A free list behind the one-by-one creation and freeing of the records a pass makes by the
// thousand (motion and contact records): a freed record's memory waits here for the next record
// of its size instead of going back to the allocator. Owners still create and free each record
// themselves, in the same order; the pool changes no answer and no order, only where the bytes
// come from. It holds at most kPoolLimit records, and the stop sequence gives them all back. The
// blocks are listed in an array, not linked through themselves, so that giving, taking and
// ordering them reads no freed record's memory.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/spin_lock.h"

namespace vor {

struct PooledBlock {
    PooledBlock *next;
};

struct RecordPool {
    PooledBlock **blocks;      // freed blocks, the next to be taken last
    uint32_t count;            // blocks held
    uint32_t capacity;         // room in blocks
    SpinLock lock;             // held while a thread changes blocks and count
    uint32_t cacheSlot;        // its cache in each thread (below kRecordPools)
    PooledBlock **sortScratch; // sortCapacity blocks' room for SortPoolByAddress
    uint32_t sortCapacity;
};

// Within a parallel job each thread keeps a few freed blocks of each pool to itself and meets the
// shared list a batch at a time: taking its lock for every record moved the lock's line between
// the cores for every record.
constexpr uint32_t kRecordPools = 2;
struct PoolCache {
    PooledBlock *head;
    uint32_t count;
};

// Records kept for reuse per pool; beyond this a freed record goes back to the allocator, so a
// pass that once made a million records does not hold their memory until Stop.
constexpr uint32_t kPoolLimit = 1u << 16;

// A zeroed block of size bytes (size at least a pointer, the same for every call on one pool).
void *TakeRecord(RecordPool *pool, size_t size);
// Takes back a block TakeRecord gave out.
void GiveRecord(RecordPool *pool, void *block);
// Orders the held blocks so that they are taken in ascending address order: the records made next
// follow one another in memory. On the host's thread, outside a parallel job.
void SortPoolByAddress(RecordPool *pool);
// Frees every block the pool holds.
void DrainPool(RecordPool *pool);
// Gives the calling thread's cached blocks back to the pool: each thread does so as a job ends.
void FlushPoolCache(RecordPool *pool);
// The calling thread's cache of the pool's blocks, for the tests (a call, as ThreadStats).
const PoolCache &ThreadPoolCache(const RecordPool *pool);

} // namespace vor
