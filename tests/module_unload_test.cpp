// The module's worker threads across unloading, through dlopen as a host loads it: dlclose with or
// without a Stop first joins them (the module's destructor) and unmaps the module, and a process
// that exits with them alive ends by itself. Each run of a scene uses three threads, the host's and
// two workers, and must give one thread's values to the bit.
#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace {

// The exports the scene needs, looked up in one loaded copy of the module.
struct ModuleApi {
    decltype(&StopCollisionVOR) stop;
    decltype(&SetWorkerCountVOR) setWorkers;
    decltype(&SetCollisionsVOR) setCollisions;
    decltype(&NewCollObjVOR) newObject;
    decltype(&AddObjShapeVOR) addShape;
    decltype(&ActivateObjVOR) activate;
    decltype(&SetObjRadiusVOR) setRadius;
    decltype(&SetObjPosVOR) setPos;
    decltype(&UpdateObjVOR) update;
    decltype(&AddMeshTri) addTriangle;
    decltype(&RunCollisionVOR) run;
    decltype(&PeekObjXVOR) peekX;
    decltype(&PeekObjYVOR) peekY;
    decltype(&PeekObjZVOR) peekZ;
    decltype(&CountCollisionsVOR) countContacts;
    decltype(&CollisionHitPoly) hitPoly;
};

template <typename F> bool Find(void *handle, const char *name, F &slot) {
    slot = reinterpret_cast<F>(dlsym(handle, name));
    return slot != nullptr;
}

bool FindAll(void *handle, ModuleApi *api) {
    return Find(handle, "StopCollisionVOR", api->stop) &&
           Find(handle, "SetWorkerCountVOR", api->setWorkers) &&
           Find(handle, "SetCollisionsVOR", api->setCollisions) &&
           Find(handle, "NewCollObjVOR", api->newObject) &&
           Find(handle, "AddObjShapeVOR", api->addShape) &&
           Find(handle, "ActivateObjVOR", api->activate) &&
           Find(handle, "SetObjRadiusVOR", api->setRadius) &&
           Find(handle, "SetObjPosVOR", api->setPos) && Find(handle, "UpdateObjVOR", api->update) &&
           Find(handle, "AddMeshTri", api->addTriangle) &&
           Find(handle, "RunCollisionVOR", api->run) && Find(handle, "PeekObjXVOR", api->peekX) &&
           Find(handle, "PeekObjYVOR", api->peekY) && Find(handle, "PeekObjZVOR", api->peekZ) &&
           Find(handle, "CountCollisionsVOR", api->countContacts) &&
           Find(handle, "CollisionHitPoly", api->hitPoly);
}

// 288 ellipsoids walking over a bumpy floor of 288 triangles: more than the 256 bodies sweeping
// against meshes in an iteration from which the sweeps go to the workers.
constexpr uint32_t kWalkers = 288;
constexpr uint32_t kFloor = 1000;
constexpr int kCells = 12;
constexpr int kPasses = 20;

float FloorHeight(int i, int k) {
    return float((i * 7 + k * 3) % 5) * 0.4f;
}

std::vector<int32_t> RunWalkers(const ModuleApi &api, int32_t threads) {
    api.stop();
    api.setWorkers(threads);
    api.setCollisions(20, 21, VOR_METHOD_MESHES, VOR_RESPONSE_STAND, VOR_DYNAMIC_STILL);
    api.newObject(kFloor, 21);
    api.addShape(kFloor, VOR_SHAPE_MESH);
    api.activate(kFloor);
    api.setPos(0, 0, 0);
    api.update(kFloor, VOR_UPDATE_PLACE);
    for (int i = 0; i < kCells; ++i) {
        for (int k = 0; k < kCells; ++k) {
            const float x0 = -24.0f + 4.0f * i, x1 = x0 + 4.0f, z0 = -24.0f + 4.0f * k,
                        z1 = z0 + 4.0f;
            const float a = FloorHeight(i, k), b = FloorHeight(i + 1, k);
            const float c = FloorHeight(i, k + 1), d = FloorHeight(i + 1, k + 1);
            api.addTriangle(kFloor, x0, a, z0, x0, c, z1, x1, b, z0);
            api.addTriangle(kFloor, x1, b, z0, x0, c, z1, x1, d, z1);
        }
    }
    for (uint32_t n = 1; n <= kWalkers; ++n) {
        api.newObject(n, 20);
        api.addShape(n, VOR_SHAPE_ELLIPSOID);
        api.setRadius(n, 1.0f, 1.5f, 1.0f);
        api.activate(n);
        api.setPos(-22.0f + 2.5f * float((n - 1) % 18), 5.0f, -20.0f + 2.5f * float((n - 1) / 18));
        api.update(n, VOR_UPDATE_PLACE);
    }
    std::vector<int32_t> values;
    for (int pass = 0; pass < kPasses; ++pass) {
        for (uint32_t n = 1; n <= kWalkers; ++n) {
            api.setPos(F(api.peekX(n)) + 0.35f + 0.05f * float(n % 5), F(api.peekY(n)) - 0.6f,
                       F(api.peekZ(n)) + 0.25f - 0.06f * float(n % 7));
            api.update(n, VOR_UPDATE_SWEEP);
        }
        api.run();
        for (uint32_t n = 1; n <= kWalkers; ++n) {
            values.insert(values.end(), {api.peekX(n), api.peekY(n), api.peekZ(n),
                                         api.countContacts(n), api.hitPoly(n, 1)});
        }
    }
    return values;
}

int ThreadsInProcess() {
    DIR *tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent *entry = readdir(tasks)) {
        count += entry->d_name[0] != '.' ? 1 : 0;
    }
    closedir(tasks);
    return count;
}

// A joined thread can stay listed for a moment after the join returns (the kernel clears the
// thread id, which wakes the join, before it removes the thread; under an emulator, well before),
// so a count that should fall is read until it does, for at most five seconds.
int ThreadsInProcessOnceSettled(int expected) {
    int count = ThreadsInProcess();
    for (int wait = 0; wait < 5000 && count != expected; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        count = ThreadsInProcess();
    }
    return count;
}

bool ModuleMapped() {
    FILE *maps = std::fopen("/proc/self/maps", "r");
    if (maps == nullptr) {
        return false;
    }
    char line[4096];
    bool found = false;
    while (std::fgets(line, sizeof line, maps) != nullptr) {
        found = found || std::strstr(line, VOR_MODULE_PATH) != nullptr;
    }
    std::fclose(maps);
    return found;
}

TEST(ModuleUnload, DlcloseJoinsTheWorkersWithOrWithoutAStopAndUnmapsTheModule) {
    ASSERT_FALSE(ModuleMapped()) << "the test binary must not link the module itself";
    const int before = ThreadsInProcess();
    ASSERT_GT(before, 0);
    std::vector<int32_t> one;
    for (bool stopFirst : {false, true}) {
        void *handle = dlopen(VOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        ModuleApi api;
        ASSERT_TRUE(FindAll(handle, &api));
        if (one.empty()) {
            one = RunWalkers(api, 1);
            EXPECT_EQ(ThreadsInProcess(), before) << "one thread starts no worker";
        }
        EXPECT_EQ(RunWalkers(api, 3), one) << "three threads, stop first " << stopFirst;
        EXPECT_EQ(ThreadsInProcess(), before + 2) << "three threads start two workers";
        if (stopFirst) {
            api.stop();
            EXPECT_EQ(ThreadsInProcessOnceSettled(before), before)
                << "StopCollisionVOR ends the workers";
        }
        ASSERT_EQ(dlclose(handle), 0);
        EXPECT_EQ(ThreadsInProcessOnceSettled(before), before) << "stop first " << stopFirst;
        EXPECT_FALSE(ModuleMapped()) << "stop first " << stopFirst;
    }
}

// A child process loads the module, runs the scene on three threads and exits with the workers
// parked; an alarm ends it if the exit hangs.
TEST(ModuleUnload, AProcessExitingWithTheWorkersParkedEndsByItself) {
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        alarm(30);
        void *handle = dlopen(VOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
        ModuleApi api;
        if (handle == nullptr || !FindAll(handle, &api)) {
            _exit(3);
        }
        const int before = ThreadsInProcess();
        RunWalkers(api, 3);
        // exit, not _exit: the module's destructor runs with the workers alive.
        std::exit(ThreadsInProcess() == before + 2 ? 0 : 4);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status)
                                      << (WTERMSIG(status) == SIGALRM ? " (the exit hung)" : "");
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: the module did not load, 4: no workers started";
}

// A child process exits while another of its threads is in the middle of passes on three
// threads: the module's destructor must neither wait for that pass's workers nor free what it
// uses. Ten children, since the exit lands at a different moment of the pass each time. (Other
// calls made while the process exits are as unsafe as any two threads calling the module.)
TEST(ModuleUnload, AProcessExitingDuringAPassEndsByItself) {
    for (int run = 0; run < 10; ++run) {
        std::fflush(nullptr);
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            alarm(30);
            static void *handle = dlopen(VOR_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
            static ModuleApi api;
            if (handle == nullptr || !FindAll(handle, &api)) {
                _exit(3);
            }
            // The scene stays in place; the other thread only runs passes over it.
            RunWalkers(api, 3);
            std::thread passes([] {
                for (;;) {
                    api.run();
                }
            });
            passes.detach();
            usleep(static_cast<useconds_t>(20000 + 7000 * run));
            std::exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_FALSE(WIFSIGNALED(status))
            << "run " << run << ": ended by signal " << WTERMSIG(status)
            << (WTERMSIG(status) == SIGALRM ? " (the exit hung)" : "");
        EXPECT_EQ(WEXITSTATUS(status), 0) << "run " << run;
    }
}

} // namespace
