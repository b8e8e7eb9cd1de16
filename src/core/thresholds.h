// Every numeric threshold of the library, named once, with the precision it is compared in.
#pragma once

#include <cstdint>

#include "vorcollide.h"

#include "core/records.h"
#include "math/math_thresholds.h"

namespace vor {

constexpr uint32_t kMaxObjectNumber = 5000; // object numbers are 1..5000
constexpr uint32_t kObjectSlots = 5001;     // tables indexed by object number; slot 0 unused
constexpr uint32_t kMaxCollisionType = 100; // collision types are 0..100
constexpr uint32_t kCollisionTypeCount = 101;
constexpr uint32_t kMinConcaveMode = VOR_CONCAVE_NEVER; // ConcaveMode accepts 1..7
constexpr uint32_t kMaxConcaveMode = VOR_CONCAVE_ALWAYS;
constexpr uint32_t kMaxDefinitionMethod = kMeshesMethod;      // methods 1..2
constexpr uint32_t kMaxResponseMethod = kReportOnlyResponse;  // response methods 1..5
constexpr uint32_t kMaxDynamicResponse = kDynamicCarryRiders; // dynamic response methods 1..4

constexpr float kPercentToFactor = 0.01f; // float: scale percent to factor

constexpr double kNearDuplicateSquared = 0.1;   // double: contact point repeats an earlier one
constexpr float kEllipsoidContactMargin = 2.0f; // float: swept-box margin of two unit spheres
constexpr float kRayEllipsoidMargin = 1.0f;     // float: swept-box margin of a ray and a sphere

constexpr double kStandingMotionLimit = 0.002; // double: |r.x|, |r.z| below this on ground stops
constexpr double kNegligibleCorrectionSquared = 4e-6; // double: correction too small to iterate
constexpr double kCreasePlaneDistance = 0.05; // double: edge contact off an earlier face plane
constexpr float kStepDirectionScale = 10.0f;  // float: length scale of the step direction S
constexpr int32_t kCreaseLimit = 1;           // a crease counter above this stops the body

constexpr double kStoodOnNormalY = 0.3; // double: previous contact normal y of a rider

// Overlap recovery (opt-in): how far past touching a push takes a body, in the unit-sphere space
// of the pair or of the body, and the longest push of one pass, as a fraction of the body's
// smallest radius.
constexpr float kRecoveryClearance = 1e-3f; // float: unit-sphere distance beyond touching
constexpr float kRecoveryStepLimit = 0.5f;  // float: of the smallest radius
constexpr uint32_t kRecoveryRounds = 12;    // rounds of pushing apart before the push is swept
// A body stands on a triangle its unit sphere reaches or stands this close to (unit-sphere
// distance from the centre): its pushes apart slide along that ground instead of into it.
constexpr float kRecoveryStandReach = 1.01f;

// Safety bound on sweep iterations of one pass (VORCOLLIDE_MAX_PASS_ITERATIONS in the header).
constexpr int32_t kMaxPassIterations = 1000;
static_assert(kMaxPassIterations == VORCOLLIDE_MAX_PASS_ITERATIONS,
              "the public header promises the same bound");

// Search structures (they change no result, only how many candidates the exact tests see).
constexpr uint32_t kAccelMinTriangles = 32; // smaller meshes are scanned plainly
// Triangles per leaf of a mesh hierarchy (at most 31). 32-bit builds have smaller triangle records
// (44 bytes, not 56), and take larger leaves so that the hierarchy stays within their memory; on
// 64-bit builds two groups of four boxes tested side by side (4 runs fewer instructions but
// timed 9% slower, its extra nodes missing the cache).
constexpr uint32_t kAccelLeafTriangles = sizeof(void *) == 4 ? 20 : 8;
constexpr uint32_t kAccelRebuildFraction = 16; // rebuilt once additions pass 1/16 of the mesh
// A grown mesh's rebuild goes on a slice per query of this many work units (about 2 ns each here;
// a build takes some 150 a triangle), and this many more for each triangle the query took in, so
// that it ends within about a twenty-fifth more additions (the old hierarchy's arrays, moved into
// larger ones as they fill, take those in meanwhile); then it takes in the triangles added
// meanwhile, this many a query and four times those the query took in.
constexpr uint64_t kAccelSpreadSliceWork = 4096;
constexpr uint64_t kAccelSpreadWorkPerAddition = 4096;
constexpr uint32_t kAccelSpreadInsertsMost = 64;
constexpr uint32_t kGridMinDestinations = 16; // fewer ellipsoid destinations are scanned plainly
constexpr uint32_t kGridMinSources = 3;       // fewer moving sources are scanned plainly
// Fewer bodies sweeping against meshes in an iteration stay on the host's thread: waking the
// workers and sharing the record pools cost more than a few hundred sweeps (64 characters on a
// level took 136 us a pass alone and 217 us with a worker, on two shared cores).
constexpr uint32_t kMinBodiesOnWorkers = 256;

} // namespace vor
