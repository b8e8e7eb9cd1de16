// The module entry: unloading the module from a process stops the system, so every record is
// freed. On Windows through DllMain; elsewhere through a module destructor, which runs on
// dlclose and at process exit.
#include "vorcollide.h"

#ifdef _WIN32
#include <windows.h>

// C linkage so the runtime's start-up code finds it instead of its default entry.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) {
        StopCollisionVOR();
    }
    return TRUE;
}
#else
namespace {

__attribute__((destructor)) void StopCollisionOnUnload() {
    StopCollisionVOR();
}

} // namespace
#endif
