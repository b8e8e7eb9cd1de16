// The work counters; zeroed at load and by ResetStats.
#include "core/module_state.h"

namespace vor {

void ResetStats() {
    Stats = WorkCounters{};
}

} // namespace vor
