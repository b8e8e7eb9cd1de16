// The work counters; zeroed at load and by ResetStats.
#include "core/module_state.h"

#include <algorithm>

namespace vor {

void ResetStats() {
    Stats = WorkCounters{};
}

WorkCounters &ThreadStats() {
    return Stats;
}

void AddStats(WorkCounters *into, const WorkCounters &from) {
    // The "most" counters are maxima, not sums.
    const uint64_t foundMost = std::max(into->accelRayFoundMost, from.accelRayFoundMost);
    const uint64_t depthMost = std::max(into->accelInsertDepthMost, from.accelInsertDepthMost);
    const uint64_t sliceMost = std::max(into->accelSpreadWorkMost, from.accelSpreadWorkMost);
    const uint64_t bucketsMost = std::max(into->gridBucketsMost, from.gridBucketsMost);
    uint64_t *to = reinterpret_cast<uint64_t *>(into);
    const uint64_t *add = reinterpret_cast<const uint64_t *>(&from);
    for (size_t i = 0; i < sizeof(WorkCounters) / sizeof(uint64_t); ++i) {
        to[i] += add[i];
    }
    into->accelRayFoundMost = foundMost;
    into->accelInsertDepthMost = depthMost;
    into->accelSpreadWorkMost = sliceMost;
    into->gridBucketsMost = bucketsMost;
}

} // namespace vor
