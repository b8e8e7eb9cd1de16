// The lock around the few shared lists that a pass's worker threads change (the record pools, the
// lists of contacts naming a body): held for a handful of instructions, so it spins. Taken only
// while a job runs on several threads (`shared` true); alone, the host's thread skips it.
#pragma once

#include <atomic>

namespace vor {

struct SpinLock {
    std::atomic_flag held = ATOMIC_FLAG_INIT;
};

inline void Enter(SpinLock *lock, bool shared) {
    while (shared && lock->held.test_and_set(std::memory_order_acquire)) {
    }
}

inline void Leave(SpinLock *lock, bool shared) {
    if (shared) {
        lock->held.clear(std::memory_order_release);
    }
}

} // namespace vor
