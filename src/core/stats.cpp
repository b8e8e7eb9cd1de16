// The work counters; zeroed at load and by ResetStats.
#include "core/stats.h"

namespace vor {

WorkCounters Stats = {};

void ResetStats() {
    Stats = WorkCounters{};
}

} // namespace vor
