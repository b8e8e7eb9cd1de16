// The pair grid of an ellipsoid definition: a uniform grid over the destination ellipsoids' swept
// boxes, so that each moving source meets only the destinations its swept-box test could pass.
// The driver keeps its own source loop; the grid hands each source its candidates in list order,
// through the driver's own pair filter, so every result is what the plain scan gives.
#pragma once

#include <cstddef>

#include "core/records.h"

namespace vor {

// Builds the grid for ellipsoid definition d over its two ShapeLists lists. Answers false, having
// kept nothing, when the plain scan is the better choice (few destinations or few moving sources)
// or memory ran out; the driver then scans plainly.
bool OpenPairGrid(CollisionDefinition *d, IntrusiveList *sources, IntrusiveList *destinations);
// Sweeps one moving source of d against its candidates, in list order; between OpenPairGrid and
// ClosePairGrid, for the sources in list order.
void SweepSourceThroughGrid(CollisionDefinition *d, ShapeEntry *s);
// Ends a definition sweep. A type meeting its own keeps its grid and candidate lists for the next
// iteration's sweep of the same definition (OpenPairGrid takes them up again while they hold);
// any other grid is freed.
void ClosePairGrid();
// Frees what a pass kept of its grids, so that between passes the module holds nothing.
void ReleasePairGrid();
// Forgets whether kept lists paid lately (a stopped module starts afresh).
void ForgetPairGridHabit();

// The largest working set of one grid sweep so far, in bytes.
size_t PairGridPeakBytes();

} // namespace vor
