// The module entry: unloading the module from a process stops the system, so every record is
// freed. On Windows through DllMain; elsewhere through a module destructor, which runs on
// dlclose and at process exit.
#include "vorcollide.h"

#include "system/lifecycle.h"

#ifdef _WIN32
#include <windows.h>

// C linkage so the runtime's start-up code finds it instead of its default entry.
// DllMain runs under the loader lock, which a worker needs to end (its thread-detach call): the
// stop must not wait for them. A FreeLibrary only gets here once no worker holds the module, and at
// process exit Windows has already ended them, so the pool is abandoned, not joined.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) {
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
