// Plain counters of the work the exact tests do, read by the benchmarks. They only count: nothing
// in the library reads them, and the host cannot see them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vor {

struct WorkCounters {
    uint64_t meshSweeps;          // SweepEllipsoidMesh calls that reached the triangle loop
    uint64_t trianglesTested;     // triangles handed to the per-triangle step (box test and on)
    uint64_t trianglesOverlapped; // of those, triangles whose grown box the segment overlaps
    uint64_t meshRays;            // rays that reached a mesh's triangle loop
    uint64_t rayTriangles;        // triangles a ray tested
    uint64_t accelRays;           // mesh rays the hierarchy answered nearest first
    uint64_t accelRayFallbacks;   // mesh rays it handed back to the candidate scan
    uint64_t accelRayNodes;       // hierarchy nodes those rays opened
    uint64_t accelRayLeaves;      // leaves they opened
    uint64_t accelRayItems;       // triangles of those leaves whose boxes they tested
    uint64_t accelRayFoundMost;   // the most hits one such ray held at once to settle ties
    uint64_t pairsTested;         // ellipsoid pairs handed to the pair sweep
    uint64_t pairsOverlapped;     // pair tests whose swept boxes overlap
    uint64_t accelBuilds;         // triangle hierarchies built from scratch
    uint64_t accelRefits;         // hierarchies refitted to a new world matrix
    uint64_t accelMovedNodes;     // nodes opened in hierarchies kept in their mesh's own frame
    uint64_t accelMovedItems;     // triangles those searches made into world corners
    uint64_t accelOwnFrameRays;   // mesh rays left to the candidate search by such a hierarchy
    uint64_t accelInserts;        // triangles taken into an existing hierarchy one by one
    uint64_t accelSubtreeRebuilds; // subtrees built afresh to keep insertions shallow
    uint64_t accelSubtreeItems;   // triangles those rebuilds covered
    uint64_t accelInsertDepthMost; // the deepest leaf an insertion left (inner nodes above it)
    uint64_t accelSpreadRebuilds; // rebuilds of grown meshes done in slices and put in place
    uint64_t accelArrayGrowths;   // hierarchy arrays grown after their build, copied whole at once
    uint64_t accelArrayMoves;     // hierarchy arrays moved into larger ones a slice at a time
    uint64_t accelSpreadWorkMost; // the most work units one slice of such a rebuild took
    uint64_t gridDefinitions;     // ellipsoid definition sweeps served by the pair grid
    uint64_t gridPlainSources;    // sources the grid left to scan every destination
    uint64_t typeRayIndexBuilds;  // trees over a type's ellipsoids made for rays (once a type)
    uint64_t typeRayEllipsoids;   // ellipsoids a ray by type handed to the exact test
    uint64_t typeRayNodes;        // tree nodes rays by type took from their stacks
    uint64_t typeRayLeafMoves;    // leaves taken out and put in again as their bodies moved
    uint64_t gridOutsiders;       // destinations every source visits (odd values only)
    uint64_t gridHashedSweeps;    // grid sweeps whose cells were hashed, not laid out whole
    uint64_t gridReuses;          // grid sweeps that took a kept grid and its lists up again
    uint64_t gridListedItems;     // destinations entered in kept candidate lists
    uint64_t gridEscapes;         // destinations found beyond their envs in a kept grid
    uint64_t gridHeldEscapes;     // (list holder, escaped destination) pairs a kept grid noted
    uint64_t gridRebuilds;        // kept grids built anew, too many of their members escaped
    uint64_t gridEarly;           // slots whose time fell below what kept lists hold
    uint64_t gridBucketsMost;     // the most buckets one grid sweep laid out or hashed into
    uint64_t gridQueries;         // searches through the grid's cells (candidates, kept lists)
    uint64_t gridCellsVisited;    // grid cells those searches looked into
    uint64_t gridSlotsMet;        // destinations sources met in those cells or level lists
    uint64_t sweepCacheSearches;  // mesh searches whose candidates an ellipsoid kept for its pass
    uint64_t sweepCacheHits;      // mesh sweeps that took an earlier iteration's candidates
    uint64_t motionIndexBuilds;   // per-body look-ups built over a pass's sealed records
    uint64_t passIterations;      // sweep iterations of every pass
    uint64_t recoveryPushes;      // bodies given a push out of an overlap (recovery on)
    uint64_t recoveryKeptTests;   // its ground tests that took the triangles a body's sweeps kept
    uint64_t recoveryGroundJobs;  // recoveries whose ground tests ran on the worker threads
    uint64_t workerJobs;          // jobs handed to the worker threads
    uint64_t workerJobTasks;      // tasks those jobs held (run by the workers and the host)
};

// Every counter is a uint64_t, so that AddStats can add them as one array.
static_assert(sizeof(WorkCounters) % sizeof(uint64_t) == 0, "counters are uint64_t only");

// The calling thread's counters to zero.
void ResetStats();
// The calling thread's counters, for the tests and benchmarks: a call, as reading the
// thread-local variable from a file of their own trips the undefined-behaviour checker's null
// check under GCC 12 (a false report: the address is the variable's).
WorkCounters &ThreadStats();
// Adds every counter of from into *into (a worker's counts into the host's).
void AddStats(WorkCounters *into, const WorkCounters &from);

} // namespace vor
