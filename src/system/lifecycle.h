// Start and stop of the system.
#pragma once

namespace vor {

// Ends the workers, frees every record (ray result, active entries, objects, bodies, definitions)
// and disarms. mayWait false only where waiting for the workers is not allowed (core/worker_pool.h).
void StopCollision(bool mayWait);

} // namespace vor
