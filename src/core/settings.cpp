// The three system settings and their setters. Nothing else in the library resets them: they
// keep their last values across StopCollisionVOR for the life of the module.
#include "core/settings.h"

#include "core/error_report.h"
#include "core/messages.h"
#include "core/thresholds.h"

namespace vor {

void SetEllipOptimize(int32_t flag) {
    EllipOptimize = flag != 0 ? 1 : 0;
}

void SetEllipSizeMode(int32_t mode) {
    EllipSizeMode = mode != 0 ? 1 : 0;
}

void SetConcaveMode(uint32_t mode) {
    if (mode < kMinConcaveMode || mode > kMaxConcaveMode) {
        ReportError(kMsgInvalidConcave, mode);
        return;
    }
    ConcaveMode = mode;
}

} // namespace vor
