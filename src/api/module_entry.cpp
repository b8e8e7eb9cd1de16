// The module entry: unloading the module from a process stops the system, so every record is
// freed. On Windows through DllMain, on FreeLibrary (at process exit the memory goes with the
// process); elsewhere through a module destructor, which runs on dlclose and at process exit.
#include "vorcollide.h"

#include "core/module_state.h"
#include "system/lifecycle.h"

namespace {

// False when a pass is running on another host thread (the process is exiting under it): nothing
// may be freed then. True otherwise, and no pass starts from then on.
bool CloseThePassGate() {
    uint8_t idle = vor::kPassesIdle;
    return vor::PassGateState.compare_exchange_strong(idle, vor::kModuleUnloading);
}

} // namespace

#ifdef _WIN32
#include <windows.h>

// C linkage so the runtime's start-up code finds it instead of its default entry.
// DllMain runs under the loader lock, which a worker needs to end (its thread-detach call), so
// the stop here never waits for the workers; a FreeLibrary only gets here once none of them holds
// the module. At process exit (reserved not null) Windows has already ended every other thread
// wherever it was, perhaps inside a pass or holding a lock, so nothing is freed: the process's
// memory goes with it.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr && CloseThePassGate()) {
        vor::StopCollision(false);
    }
    return TRUE;
}
#else
namespace {

// Outside Windows no loader lock is held here, so the workers are woken and joined. A host that
// exits while another of its threads is still inside a pass gets nothing freed: that pass still
// uses the records and waits for its workers, and the memory goes with the process.
__attribute__((destructor)) void StopCollisionOnUnload() {
    if (CloseThePassGate()) {
        vor::StopCollision(true);
    }
}

} // namespace
#endif
