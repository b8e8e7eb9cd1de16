// The ray tree of a type stays balanced as bodies are taken in one at a time: at every inner node
// the heights of the two children differ by at most one.
#include <cstdint>

#include "core/accel_mode.h"
#include "query/ellipsoid_ray_index.h"
#include "support/test_support.h"

namespace {

// The largest lean in the type's tree once the changes are taken in.
uint32_t WorstLean(int32_t type) {
    vor::SyncEllipsoidRayIndexes();
    return vor::EllipsoidRayIndexLean(type);
}

class RayTreeBalanceTest : public HostTest {};

// Sixteen unit spheres in a row, the tree built at once over them or made first and taking them in
// one by one: four levels. A seventeenth whose box holds all of them is cheapest beside an inner
// node three or four high, so it goes in there, not down to a leaf; the one rotation that follows
// put that node's shorter half (two or three high) and the new leaf under one node. Rays answer
// as the scan all along; the tree must stay balanced too.
TEST_F(RayTreeBalanceTest, AWideBodyTakenInBesideAnInnerNodeLeavesTheTreeBalanced) {
    for (int made = 0; made < 2; ++made) {
        StopCollisionVOR();
        if (made == 1) {
            RayIntersectTypeVOR(1, 1, -5, 0, 0, 60, 0.1f, 0); // the tree before the bodies
        }
        for (uint32_t n = 1; n <= 16; ++n) {
            MakeEllipsoid(n, 1);
            Place(n, 3.0f * static_cast<float>(n), 0, 0);
        }
        EXPECT_EQ(RayIntersectTypeVOR(1, 1, -5, 0, 0, 60, 0.1f, 0), 1);
        EXPECT_EQ(vor::EllipsoidRayIndexHeight(1), 4u) << made;
        EXPECT_LE(WorstLean(1), 1u) << made;
        MakeEllipsoid(17, 1, 100, 100, 100);
        Place(17, 24, 0, 0);
        // From inside the wide body, which lies behind the start farther than the ray is long:
        // the scan's nearest is sphere 1, and the tree's must be.
        EXPECT_EQ(RayIntersectTypeVOR(1, 1, -5, 0, 0, 60, 0.1f, 0), 1);
        const int32_t distance = RayHitDist();
        EXPECT_EQ(RayHitObjVOR(), 1);
        vor::ReferenceScans = true;
        EXPECT_EQ(RayIntersectTypeVOR(1, 1, -5, 0, 0, 60, 0.1f, 0), 1);
        vor::ReferenceScans = false;
        EXPECT_EQ(RayHitObjVOR(), 1);
        EXPECT_EQ(RayHitDist(), distance);
        EXPECT_LE(WorstLean(1), 1u)
            << made << ": tree " << vor::EllipsoidRayIndexHeight(1) << " high";
    }
}

} // namespace
