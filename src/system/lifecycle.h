// Start and stop of the system.
#pragma once

namespace vor {

// Frees every record (ray result, active entries, objects, bodies, definitions) and disarms.
void StopCollision();

} // namespace vor
