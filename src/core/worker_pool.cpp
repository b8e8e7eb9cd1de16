// The worker pool: a fixed set of threads parked on a signal, woken for each job, which take the
// job's tasks one by one from a shared counter alongside the host's thread. The only platform code
// is the lock, the two signals and starting and ending a thread.
//
// Unloading: on Windows each worker holds a reference to the module and ends through
// FreeLibraryAndExitThread, so a host that frees the module without a Stop leaves it loaded and
// the parked workers harmless, and a Stop that ends them never runs code after the module goes.
// Elsewhere the module's destructor (dlclose, process exit) stops the system, which joins them.
#include "core/worker_pool.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "core/module_state.h"
#include "core/stats.h"

// WebAssembly as built here has no threads (no shared memory): every job runs on the caller's.
#if defined(__wasm__)
#define VOR_NO_THREADS 1
#elif defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace vor {

#ifdef VOR_NO_THREADS

void SetWorkerThreads(int32_t count) {
    WorkerThreadWish = count < 1 ? 1 : (count > kMaxWorkerThreads ? kMaxWorkerThreads : count);
}

int32_t WorkerThreads() {
    return 1;
}

void RunTasks(uint32_t taskCount, void (*task)(void *, uint32_t), void (*finish)(void *),
              void *context) {
    for (uint32_t k = 0; k < taskCount; ++k) {
        task(context, k);
    }
    if (taskCount > 0 && finish != nullptr) {
        finish(context);
    }
}

void CloseWorkerPool(bool) {}

#else

namespace {

#ifdef _WIN32
struct Lock {
    SRWLOCK lock;
};
struct Signal {
    CONDITION_VARIABLE signal;
};
using Thread = HANDLE;
void InitSync(Lock *l, Signal *a, Signal *b) {
    InitializeSRWLock(&l->lock);
    InitializeConditionVariable(&a->signal);
    InitializeConditionVariable(&b->signal);
}
void DestroySync(Lock *, Signal *, Signal *) {}
void Acquire(Lock *l) {
    AcquireSRWLockExclusive(&l->lock);
}
void Release(Lock *l) {
    ReleaseSRWLockExclusive(&l->lock);
}
void Wait(Signal *s, Lock *l) {
    SleepConditionVariableSRW(&s->signal, &l->lock, INFINITE, 0);
}
void WakeAll(Signal *s) {
    WakeAllConditionVariable(&s->signal);
}
void WakeOne(Signal *s) {
    WakeConditionVariable(&s->signal);
}
#else
struct Lock {
    pthread_mutex_t lock;
};
struct Signal {
    pthread_cond_t signal;
};
using Thread = pthread_t;
void InitSync(Lock *l, Signal *a, Signal *b) {
    pthread_mutex_init(&l->lock, nullptr);
    pthread_cond_init(&a->signal, nullptr);
    pthread_cond_init(&b->signal, nullptr);
}
void DestroySync(Lock *l, Signal *a, Signal *b) {
    pthread_cond_destroy(&a->signal);
    pthread_cond_destroy(&b->signal);
    pthread_mutex_destroy(&l->lock);
}
void Acquire(Lock *l) {
    pthread_mutex_lock(&l->lock);
}
void Release(Lock *l) {
    pthread_mutex_unlock(&l->lock);
}
void Wait(Signal *s, Lock *l) {
    pthread_cond_wait(&s->signal, &l->lock);
}
void WakeAll(Signal *s) {
    pthread_cond_broadcast(&s->signal);
}
void WakeOne(Signal *s) {
    pthread_cond_signal(&s->signal);
}
#endif

} // namespace

struct WorkerPool {
    Lock lock;
    Signal wake; // a job was posted, or the pool is closing
    Signal done; // the last worker finished its share of a job
    int32_t workerCount;
    int32_t started; // threads actually running (starting one can fail)
    Thread threads[kMaxWorkerThreads];
    uint64_t generation; // jobs posted; a worker runs each generation once
    uint8_t closing;
    // The job being run.
    void (*task)(void *, uint32_t);
    void (*finish)(void *);
    void *context;
    uint32_t taskCount;
    std::atomic<uint32_t> next; // the next task to take
    int32_t busy;               // workers still in the job
    WorkCounters counts;        // what the workers counted in it
};

namespace {

// The blocks a thread's share of a job freed and kept go back to the shared pools.
void FlushPoolCaches() {
    FlushPoolCache(&MotionRecordPool);
    FlushPoolCache(&ContactRecordPool);
}

// Tasks are taken a run at a time, about an eighth of a thread's share: each take moves the
// counter's cache line between the cores, which costs about as much as a small task.
void RunShare(WorkerPool *pool) {
    const uint32_t threads = static_cast<uint32_t>(pool->started) + 1;
    const uint32_t run = pool->taskCount / (8 * threads) + 1;
    bool ran = false;
    for (uint32_t k = pool->next.fetch_add(run); k < pool->taskCount;
         k = pool->next.fetch_add(run)) {
        const uint32_t end = pool->taskCount - k < run ? pool->taskCount : k + run;
        for (uint32_t j = k; j < end; ++j) {
            pool->task(pool->context, j);
        }
        ran = true;
    }
    if (ran && pool->finish != nullptr) {
        pool->finish(pool->context);
    }
    FlushPoolCaches();
}

void ServeJobs(WorkerPool *pool) {
    Acquire(&pool->lock);
    uint64_t seen = 0; // generation 0 is the pool's start, before any job
    for (;;) {
        while (pool->closing == 0 && pool->generation == seen) {
            Wait(&pool->wake, &pool->lock);
        }
        if (pool->closing != 0) {
            break;
        }
        seen = pool->generation;
        Release(&pool->lock);
        RunShare(pool);
        Acquire(&pool->lock);
        // Counters are per thread; the job's caller takes them in with the results.
        AddStats(&pool->counts, Stats);
        Stats = WorkCounters{};
        pool->busy -= 1;
        if (pool->busy == 0) {
            WakeOne(&pool->done);
        }
    }
    Release(&pool->lock);
    ReleaseThreadScratch();
}

#ifdef _WIN32
DWORD WINAPI WorkerMain(LPVOID argument) {
    ServeJobs(static_cast<WorkerPool *>(argument));
    // The module reference StartThread took: freed and the thread ended in one call, so no code
    // of a module that this release unloads runs afterwards.
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&WorkerMain), &self);
    FreeLibraryAndExitThread(self, 0);
    return 0;
}

bool StartThread(WorkerPool *pool, Thread *thread) {
    HMODULE self = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCWSTR>(&WorkerMain), &self)) {
        return false;
    }
    *thread = CreateThread(nullptr, 0, WorkerMain, pool, 0, nullptr);
    if (*thread == nullptr) {
        FreeLibrary(self);
        return false;
    }
    return true;
}

void JoinThread(Thread thread) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}
#else
void *WorkerMain(void *argument) {
    ServeJobs(static_cast<WorkerPool *>(argument));
    return nullptr;
}

bool StartThread(WorkerPool *pool, Thread *thread) {
    return pthread_create(thread, nullptr, WorkerMain, pool) == 0;
}

void JoinThread(Thread thread) {
    pthread_join(thread, nullptr);
}
#endif

// A pool of count - 1 workers (the host's thread is the count's last), or null when not one
// could be started.
WorkerPool *OpenPool(int32_t count) {
    void *memory = std::malloc(sizeof(WorkerPool));
    if (memory == nullptr) {
        return nullptr;
    }
    WorkerPool *pool = new (memory) WorkerPool();
    InitSync(&pool->lock, &pool->wake, &pool->done);
    pool->workerCount = count - 1;
    for (int32_t i = 0; i < pool->workerCount; ++i) {
        if (!StartThread(pool, &pool->threads[pool->started])) {
            break;
        }
        pool->started += 1;
    }
    if (pool->started == 0) {
        DestroySync(&pool->lock, &pool->wake, &pool->done);
        pool->~WorkerPool();
        std::free(pool);
        return nullptr;
    }
    return pool;
}

} // namespace

void SetWorkerThreads(int32_t count) {
    WorkerThreadWish = count < 1 ? 1 : (count > kMaxWorkerThreads ? kMaxWorkerThreads : count);
    // A pool of another size is of no more use: its threads go now, not at the next Stop.
    if (Workers != nullptr && Workers->workerCount != WorkerThreadWish - 1) {
        CloseWorkerPool(true);
    }
}

int32_t WorkerThreads() {
    return WorkerThreadWish;
}

void RunTasks(uint32_t taskCount, void (*task)(void *, uint32_t), void (*finish)(void *),
              void *context) {
    if (Workers == nullptr && WorkerThreadWish > 1 && taskCount > 1) {
        Workers = OpenPool(WorkerThreadWish);
    }
    WorkerPool *pool = Workers;
    if (pool == nullptr || taskCount <= 1) {
        for (uint32_t k = 0; k < taskCount; ++k) {
            task(context, k);
        }
        if (taskCount > 0 && finish != nullptr) {
            finish(context);
        }
        return;
    }
    Stats.workerJobs += 1;
    Stats.workerJobTasks += taskCount;
    Acquire(&pool->lock);
    pool->task = task;
    pool->finish = finish;
    pool->context = context;
    pool->taskCount = taskCount;
    pool->next.store(0);
    pool->busy = pool->started;
    pool->generation += 1;
    InParallelJob = 1;
    WakeAll(&pool->wake);
    Release(&pool->lock);
    RunShare(pool);
    Acquire(&pool->lock);
    while (pool->busy > 0) {
        Wait(&pool->done, &pool->lock);
    }
    InParallelJob = 0;
    AddStats(&Stats, pool->counts);
    pool->counts = WorkCounters{};
    Release(&pool->lock);
}

void CloseWorkerPool(bool mayWait) {
    WorkerPool *pool = Workers;
    Workers = nullptr;
    if (pool == nullptr || !mayWait) {
        return;
    }
    Acquire(&pool->lock);
    pool->closing = 1;
    WakeAll(&pool->wake);
    Release(&pool->lock);
    for (int32_t i = 0; i < pool->started; ++i) {
        JoinThread(pool->threads[i]);
    }
    DestroySync(&pool->lock, &pool->wake, &pool->done);
    pool->~WorkerPool();
    std::free(pool);
}

#endif

} // namespace vor
