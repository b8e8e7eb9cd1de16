// The module entry: unloading the module from a process stops the system, so every record is
// freed. On Windows through DllMain, on FreeLibrary (at process exit the memory goes with the
// process); elsewhere through a module destructor, which runs on dlclose and at process exit.
#include "vorcollide.h"

#include "system/lifecycle.h"

#ifdef _WIN32
#include <windows.h>

// C linkage so the runtime's start-up code finds it instead of its default entry.
// DllMain runs under the loader lock, which a worker needs to end (its thread-detach call), so
// the stop here never waits for the workers; a FreeLibrary only gets here once none of them holds
// the module. At process exit (reserved not null) Windows has already ended every other thread
// wherever it was, perhaps inside a pass or holding a lock, so nothing is freed: the process's
// memory goes with it.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        vor::StopCollision(false);
    }
    return TRUE;
}
#else
namespace {

// Outside Windows no loader lock is held here, so the workers are woken and joined.
__attribute__((destructor)) void StopCollisionOnUnload() {
    vor::StopCollision(true);
}

} // namespace
#endif
