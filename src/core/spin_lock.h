// The lock around the few shared lists that a pass's worker threads change (the record pools, the
// lists of contacts naming a body): held for a handful of instructions, so it spins.
#pragma once

#include <atomic>

namespace vor {

struct SpinLock {
    std::atomic_flag held = ATOMIC_FLAG_INIT;
};

inline void Enter(SpinLock *lock) {
    while (lock->held.test_and_set(std::memory_order_acquire)) {
    }
}

inline void Leave(SpinLock *lock) {
    lock->held.clear(std::memory_order_release);
}

} // namespace vor
