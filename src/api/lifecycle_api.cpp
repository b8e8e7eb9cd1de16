// Exports of the lifecycle family: start markers, stop, the three system settings and the
// error handler. Each is a thin call into core.
#include "vorcollide.h"

#include "core/error_report.h"
#include "core/module_state.h"
#include "core/settings.h"
#include "core/worker_pool.h"
#include "system/lifecycle.h"

using namespace vor;

// The module is ready from load; starting is only the host's marker.
VOR_API void VOR_CALL StartCollisionVOR(void) {}

VOR_API void VOR_CALL StartCollisionDebugVOR(void) {
    ErrorBoxArmed = 1;
}

VOR_API void VOR_CALL StopCollisionVOR(void) {
    StopCollision(true);
}

VOR_API void VOR_CALL SetEllipOptimizeVOR(int32_t flag) {
    SetEllipOptimize(flag);
}

VOR_API void VOR_CALL SetEllipSizeModeVOR(int32_t mode) {
    SetEllipSizeMode(mode);
}

VOR_API void VOR_CALL SetConcaveModeVOR(uint32_t mode) {
    SetConcaveMode(mode);
}

VOR_API void VOR_CALL SetWorkerCountVOR(int32_t count) {
    SetWorkerThreads(count);
}

VOR_API void VOR_CALL SetErrorHandlerVOR(VorErrorHandler handler, void *user) {
    SetErrorHandler(handler, user);
}
