// The module's own threads, for the host that asks for more than one (SetWorkerCountVOR). With a
// count of 1, the default, nothing here starts a thread and every job runs on the caller's thread.
// A job is a set of independent tasks numbered 0..n-1: which thread runs which task is left to
// chance, so a job may only be handed tasks whose results do not depend on it (each writes only
// what it owns and reads nothing another task of the job writes).
#pragma once

#include <cstdint>

namespace vor {

// Threads a job may use at most, the host's included; larger counts are taken as this.
constexpr int32_t kMaxWorkerThreads = 64;

// The host's wish: below 1 counts as 1, above kMaxWorkerThreads as that. Takes effect at the next
// job; a pool already running with another count is closed now.
void SetWorkerThreads(int32_t count);
// The count the next job uses: 1 where the build has no threads.
int32_t WorkerThreads();

// Runs task(context, k) for every k in [0, taskCount) on the calling thread and the pool's
// workers, starting them on first use, and returns when every task has run. Each thread that ran
// any calls finish(context) after its last, unless finish is null (so that what its tasks kept to
// the thread goes where all can see it). Each worker's work counters are added to the caller's
// before it returns.
void RunTasks(uint32_t taskCount, void (*task)(void *context, uint32_t k),
              void (*finish)(void *context), void *context);

// Ends the workers and waits for them. Where waiting is not allowed (a Windows module being taken
// out of a process that is exiting), mayWait false abandons them instead.
void CloseWorkerPool(bool mayWait);

} // namespace vor
