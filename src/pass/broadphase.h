// The pair search of an ellipsoid definition: a uniform grid over the destination ellipsoids' swept
// boxes, so that each moving source meets only the destinations its swept-box test could pass.
// The survivors are visited in list order, with the driver's own filters, so every result is what
// the plain scan over all destinations gives.
#pragma once

#include <cstddef>

#include "core/records.h"

namespace vor {

// Runs the source and destination loops of SweepDefinition for an ellipsoid definition d over the
// two ShapeLists lists. Answers false, having done nothing, when the plain loops are the better
// choice (few destinations or few moving sources); the caller then runs them.
bool SweepEllipsoidDefinitionGrid(CollisionDefinition *d, IntrusiveList *sources,
                                  IntrusiveList *destinations);

// The largest working set of one grid sweep so far, in bytes (it is freed after every sweep).
size_t BroadphasePeakBytes();

} // namespace vor
