// The hierarchy's build in slices: whatever the budget of each slice and whichever selection splits
// the items (the radix rounds or the standard library's), the nodes and items come out the same to
// the byte, on item sets made to trouble a selection: equal centres, zeros of both signs, centres
// that share their high bits, and sizes around the window where the selection changes hands.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "body/registry.h"
#include "mesh/mesh_accel.h"
#include "mesh/mesh_accel_build.h"
#include "mesh/mesh_accel_layout.h"
#include "support/test_support.h"

namespace {

using vor::AccelItem;
using vor::Vec3;

enum class Kind { kScattered, kAllEqual, kSignedZeros, kHighBitsShared, kFewValues };

std::vector<AccelItem> MakeItems(Kind kind, uint32_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> u(-100.0f, 100.0f);
    std::vector<AccelItem> items(n);
    for (uint32_t i = 0; i < n; ++i) {
        Vec3 c = {u(rng), u(rng), u(rng)};
        switch (kind) {
        case Kind::kAllEqual:
            c = {1.5f, -2.0f, 3.0f};
            break;
        case Kind::kSignedZeros:
            // Centres of 0 and -0 on the spread axis, and a few either side of them.
            c.x = (i % 3 == 0) ? 0.0f : (i % 3 == 1 ? -0.0f : (i % 2 ? 1e-30f : -1e-30f));
            c.x = i % 97 == 0 ? 1.0f : c.x;
            c.y = c.z = 0.0f;
            break;
        case Kind::kHighBitsShared:
            // 1024 + a few ulps: every key agrees in its top bytes.
            c.x = 1024.0f + static_cast<float>(rng() % 64) * (1.0f / 8192.0f);
            c.y = c.z = 1.0f;
            break;
        case Kind::kFewValues:
            c.x = static_cast<float>(rng() % 3);
            c.z = static_cast<float>(rng() % 2);
            c.y = 0.0f;
            break;
        default:
            break;
        }
        // A triangle whose box centre is c to the bit, -0 included: a point on x and z, its
        // corners c and c -+ (0, 0.5, 0) about c on y.
        items[i].corner[0] = c;
        items[i].corner[1] = {c.x, c.y + 0.5f, c.z};
        items[i].corner[2] = {c.x, c.y - 0.5f, c.z};
        items[i].position = i;
    }
    return items;
}

struct Built {
    std::vector<uint8_t> nodes, items;
    vor::ChildRef root;
    uint64_t calls = 0;
    uint64_t sliceMost = 0;
};

// Builds over the items with the given split window and a budget per call (0: unlimited).
Built BuildOver(const std::vector<AccelItem> &source, uint32_t smallSplit, uint64_t budget) {
    const uint32_t n = static_cast<uint32_t>(source.size());
    vor::MeshAccel accel;
    std::memset(&accel, 0, sizeof accel);
    accel.items = static_cast<AccelItem *>(std::malloc(sizeof(AccelItem) * n));
    EXPECT_TRUE(vor::AllocateNodes(&accel, vor::CountNodes(n) + 1, 0));
    accel.itemCapacity = n;
    AccelItem *byPos = static_cast<AccelItem *>(std::malloc(sizeof(AccelItem) * n));
    std::memcpy(byPos, source.data(), sizeof(AccelItem) * n);
    vor::AccelBuild b;
    Built out;
    EXPECT_TRUE(vor::BeginItemsBuild(&b, &accel, byPos, n));
    b.smallSplit = smallSplit;
    for (;;) {
        const uint64_t before = b.work;
        const bool done = vor::AdvanceBuild(&b, budget == 0 ? UINT64_MAX : budget);
        out.calls += 1;
        out.sliceMost = std::max(out.sliceMost, b.work - before);
        EXPECT_EQ(b.failed, 0);
        if (done || b.failed != 0) {
            break;
        }
    }
    out.root = b.made;
    vor::EndBuild(&b);
    const auto *nodeBytes = reinterpret_cast<const uint8_t *>(accel.nodes);
    out.nodes.assign(nodeBytes, nodeBytes + sizeof(vor::AccelNode) * accel.nodeCount);
    const auto *itemBytes = reinterpret_cast<const uint8_t *>(accel.items);
    out.items.assign(itemBytes, itemBytes + sizeof(AccelItem) * n);
    EXPECT_EQ(accel.nodeCount, vor::CountNodes(n)) << "every counted node made, no more";
    std::free(accel.items);
    std::free(accel.nodeBlock);
    return out;
}

void ExpectSame(const Built &a, const Built &b, const char *what) {
    EXPECT_EQ(std::memcmp(&a.root, &b.root, sizeof a.root), 0) << what;
    EXPECT_TRUE(a.nodes == b.nodes) << what << ": nodes differ";
    EXPECT_TRUE(a.items == b.items) << what << ": items differ";
}

TEST(MeshAccelBuild, RadixSlicesAndTheLibrarysSelectionMakeTheSameHierarchy) {
    const Kind kinds[] = {Kind::kScattered, Kind::kAllEqual, Kind::kSignedZeros,
                          Kind::kHighBitsShared, Kind::kFewValues};
    const uint32_t sizes[] = {33, vor::kBuildSmallSplit + 1, 3 * vor::kBuildSmallSplit + 17, 20000};
    for (Kind kind : kinds) {
        for (uint32_t n : sizes) {
            const std::vector<AccelItem> items =
                MakeItems(kind, n, n * 7 + static_cast<uint32_t>(kind));
            // The whole build as the standard library's selection alone makes it.
            const Built library = BuildOver(items, UINT32_MAX, 0);
            // Radix rounds down to windows of one, whole or a unit of work at a time.
            const Built radix = BuildOver(items, 1, 0);
            const Built sliced = BuildOver(items, 1, 1);
            // As the module runs it: small windows to the library, slices of a query's share.
            const Built usual = BuildOver(items, vor::kBuildSmallSplit, 4096);
            const std::string what = "kind " + std::to_string(static_cast<int>(kind)) + ", " +
                                     std::to_string(n) + " items";
            ExpectSame(library, radix, (what + ", radix").c_str());
            ExpectSame(library, sliced, (what + ", sliced").c_str());
            ExpectSame(library, usual, (what + ", usual").c_str());
            // A slice never overruns its budget by more than one indivisible step.
            EXPECT_LE(sliced.sliceMost, 1 + vor::kBuildStepMost) << what;
            EXPECT_LE(usual.sliceMost, 4096 + vor::kBuildStepMost) << what;
            EXPECT_GT(sliced.calls, n / 16) << what << ": the unit budget must cut the build up";
        }
    }
}

// A mesh's whole build, and the same build gathering its triangles a unit of work at a time:
// the same hierarchy, and the same last triangle to take additions in after. Among the triangles,
// copies of one lid spread through the list: too few to go apart, or enough, when the root joins
// the others' hierarchy and the copies' own, which rays pass by.
class MeshBuildSlices : public HostTest {};

TEST_F(MeshBuildSlices, GatheringInSlicesReadsTheListAsAWholeBuildDoes) {
    for (uint32_t copies : {0u, 12u, 41u, 400u}) {
        SCOPED_TRACE(copies);
        std::mt19937 rng(5);
        std::uniform_real_distribution<float> at(-50.0f, 50.0f), d(-1.0f, 1.0f);
        NewCollObjVOR(1, 2);
        AddObjShapeVOR(1, 2);
        uint32_t lids = 0;
        for (uint32_t k = 0; k < 5000; ++k) {
            const float x = at(rng), y = at(rng), z = at(rng);
            AddMeshTri(1, x, y, z, x + d(rng), y + d(rng), z, x, y + d(rng), z + d(rng));
            if (copies != 0 && k % (5000 / copies) == 7) {
                AddMeshTri(1, 3, 4, 5, 3, 4, 7, 5, 4, 5);
                lids += 1;
            }
        }
        const vor::MeshShape *mesh =
            vor::AsMesh(vor::MemberOf<vor::ShapeHead>(vor::ObjectTable[1]->body->shapes.head));
        const uint32_t n = mesh->triangleCount;
        vor::Matrix4 world;
        vor::MakeIdentity(&world);
        Built out[2];
        vor::ListLink *last[2] = {nullptr, nullptr};
        uint8_t twinsOnly[2][2] = {};
        for (int sliced = 0; sliced < 2; ++sliced) {
            vor::MeshAccel accel;
            std::memset(&accel, 0, sizeof accel);
            vor::AccelBuild b;
            ASSERT_TRUE(vor::BeginMeshBuild(&b, &accel, mesh, world, 0, 0));
            if (sliced != 0) {
                b.smallSplit = 1;
                while (!vor::AdvanceBuild(&b, 1)) {
                    ASSERT_EQ(b.failed, 0);
                    out[1].calls += 1;
                }
            } else {
                ASSERT_TRUE(vor::AdvanceBuild(&b, UINT64_MAX));
            }
            out[sliced].root = b.made;
            const auto *nodeBytes = reinterpret_cast<const uint8_t *>(accel.nodes);
            out[sliced].nodes.assign(nodeBytes,
                                     nodeBytes + sizeof(vor::AccelNode) * accel.nodeCount);
            const auto *itemBytes = reinterpret_cast<const uint8_t *>(accel.items);
            out[sliced].items.assign(itemBytes, itemBytes + sizeof(AccelItem) * accel.itemCount);
            last[sliced] = accel.last;
            twinsOnly[sliced][0] = vor::ChildOf(accel.nodes[0], 0).twinsOnly;
            twinsOnly[sliced][1] = vor::ChildOf(accel.nodes[0], 1).twinsOnly;
            // Every counted node made: the copies' hierarchy and the others' under one more node.
            const uint32_t apart = lids > vor::kTwinsApart ? lids - 1 : 0;
            EXPECT_EQ(accel.nodeCount,
                      apart == 0 ? vor::CountNodes(n)
                                 : 1 + vor::CountNodes(n - apart) + vor::CountNodes(apart));
            EXPECT_LE(accel.nodeCount, accel.nodeCapacity);
            vor::EndBuild(&b);
            std::free(accel.items);
            std::free(accel.nodeBlock);
        }
        ExpectSame(out[0], out[1], "gathered in slices");
        EXPECT_EQ(last[0], mesh->triangles.tail);
        EXPECT_EQ(last[1], mesh->triangles.tail);
        EXPECT_GT(out[1].calls, n) << "one triangle gathered a call at the least";
        EXPECT_EQ(twinsOnly[0][0], 0);
        EXPECT_EQ(twinsOnly[0][1], lids > vor::kTwinsApart ? 1 : 0);
        StopCollisionVOR();
    }
}

} // namespace
