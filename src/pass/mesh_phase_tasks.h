// The mesh definitions of an iteration, swept on the worker threads the host asked for.
#pragma once

namespace vor {

// Sweeps every mesh definition of this iteration as SweepDefinition does one by one, each body's
// sweeps in one task of a job on the workers. False, having swept nothing, when the caller should
// sweep on its own thread: one thread wanted, fewer than kMinBodiesOnWorkers moving bodies, or no
// memory for the job.
bool SweepMeshDefinitionsOnWorkers();

} // namespace vor
