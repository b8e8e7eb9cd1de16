// Mesh building through AddMeshTri and AddMeshVOR: the bounds, which shapes receive triangles,
// the host vertex block (counts, stride, alignment, a null address) and the order of the
// triangles, read from the mesh shapes' internals since no export lists them.
#include "support/test_support.h"

#include <climits>
#include <cstring>
#include <vector>

#include "body/registry.h"
#include "core/module_state.h"
#include "core/thresholds.h"
#include "mesh/mesh_accel.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/mesh_building.h"

namespace {

// The k-th mesh shape (from 0) of object n's body, skipping ellipsoids.
vor::MeshShape *MeshOf(uint32_t n, int k = 0) {
    for (vor::ListLink *s = BodyOf(n)->shapes.head; s != nullptr; s = s->next) {
        vor::ShapeHead *shape = vor::MemberOf<vor::ShapeHead>(s);
        if (shape->kind == vor::kMeshKind && k-- == 0) {
            return vor::AsMesh(shape);
        }
    }
    return nullptr;
}

int CountTriangles(const vor::MeshShape *mesh) {
    int count = 0;
    for (vor::ListLink *t = mesh->triangles.head; t != nullptr; t = t->next) {
        ++count;
    }
    return count;
}

// The triangle at 1-based position k of the mesh's list.
const vor::MeshTriangle *TriangleAt(const vor::MeshShape *mesh, int k) {
    vor::ListLink *t = mesh->triangles.head;
    while (t != nullptr && --k > 0) {
        t = t->next;
    }
    return vor::MemberOf<vor::MeshTriangle>(t);
}

// A host vertex block: header words, then count vertices at the given byte stride, vertex i
// holding (i, 100 + i, 200 + i) and the bytes between vertices filled with 0xEE.
std::vector<unsigned char> MakeBlock(uint32_t vertexSize, int32_t count, uint32_t stride,
                                     int vertices) {
    std::vector<unsigned char> block(12 + static_cast<size_t>(vertices) * stride + 12, 0xEE);
    const uint32_t hostWord = 0xDEADBEEF;
    std::memcpy(&block[0], &hostWord, 4);
    std::memcpy(&block[4], &vertexSize, 4);
    std::memcpy(&block[8], &count, 4);
    for (int i = 0; i < vertices; ++i) {
        const float xyz[3] = {static_cast<float>(i), 100.0f + i, 200.0f + i};
        std::memcpy(&block[12 + static_cast<size_t>(i) * stride], xyz, sizeof xyz);
    }
    return block;
}

} // namespace

class MeshBuilding : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        NewCollObjVOR(1, 0);
        AddObjShapeVOR(1, 2);
    }
};

// ---- Bounds ------------------------------------------------------------------------------

TEST_F(MeshBuilding, FirstTriangleSetsTheBoundsFromItsCorners) {
    AddMeshTri(1, 0, 0, 0, 1, 2, 3, -1, 5, 0);
    ExpectVec(MeshOf(1)->boundsMin, -1, 0, 0);
    ExpectVec(MeshOf(1)->boundsMax, 1, 5, 3);
}

TEST_F(MeshBuilding, TriangleInsideTheBoxLeavesTheBounds) {
    AddMeshTri(1, 0, 0, 0, 1, 2, 3, -1, 5, 0);
    AddMeshTri(1, 0.5f, 1, 1, -0.5f, 4, 2, 0, 0, 3);
    ExpectVec(MeshOf(1)->boundsMin, -1, 0, 0);
    ExpectVec(MeshOf(1)->boundsMax, 1, 5, 3);
}

TEST_F(MeshBuilding, BoundsStartAtTheFirstCornerNotAtTheOrigin) {
    AddMeshTri(1, 5, 6, 7, 8, 9, 10, 6, 7, 8);
    ExpectVec(MeshOf(1)->boundsMin, 5, 6, 7);
    ExpectVec(MeshOf(1)->boundsMax, 8, 9, 10);
}

TEST_F(MeshBuilding, LaterTrianglesWidenEachAxisOnItsOwn) {
    AddMeshTri(1, 0, 0, 0, 1, 1, 1, 0, 1, 0);
    AddMeshTri(1, -2, 0.5f, 0.5f, 0.5f, 3, 0.5f, 0.5f, 0.5f, -4);
    ExpectVec(MeshOf(1)->boundsMin, -2, 0, -4);
    ExpectVec(MeshOf(1)->boundsMax, 1, 3, 1);
}

TEST_F(MeshBuilding, GrowBoundsIsStrictAndChecksBothEnds) {
    vor::MeshShape *mesh = MeshOf(1);
    mesh->boundsMin = {0, 0, 0};
    mesh->boundsMax = {0, 0, 0};
    vor::GrowBounds(mesh, {-0.0f, 2, -3});
    // -0 equals 0: neither end of x changes, so the stored +0 keeps its sign.
    EXPECT_EQ(Bits(mesh->boundsMin.x), Bits(0.0f));
    EXPECT_EQ(Bits(mesh->boundsMax.x), Bits(0.0f));
    ExpectVec(mesh->boundsMax, 0, 2, 0);
    ExpectVec(mesh->boundsMin, 0, 0, -3);
}

// ---- Which shapes receive triangles ------------------------------------------------------

TEST_F(MeshBuilding, EveryMeshShapeOfTheBodyReceivesTheTriangle) {
    AddObjShapeVOR(1, 1);
    AddObjShapeVOR(1, 2);
    AddMeshTri(1, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    for (int k = 0; k < 2; ++k) {
        ASSERT_NE(MeshOf(1, k), nullptr);
        EXPECT_EQ(CountTriangles(MeshOf(1, k)), 1);
        EXPECT_EQ(MeshOf(1, k)->triangleCount, 1u);
        ExpectVec(TriangleAt(MeshOf(1, k), 1)->corner2, 1, 0, 0);
    }
    // Separate records: each mesh owns its own copy.
    EXPECT_NE(TriangleAt(MeshOf(1, 0), 1), TriangleAt(MeshOf(1, 1), 1));
}

TEST_F(MeshBuilding, BodyWithOnlyAnEllipsoidKeepsNothingAndReportsNothing) {
    NewCollObjVOR(2, 0);
    AddObjShapeVOR(2, 1);
    Arm();
    AddMeshTri(2, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    const std::vector<unsigned char> block = MakeBlock(12, 3, 12, 3);
    AddMeshVOR(2, block.data());
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(MeshOf(2), nullptr);
}

TEST_F(MeshBuilding, TrianglesAddedBeforeTheMeshIsAttachedAreNotKept) {
    NewCollObjVOR(2, 0);
    AddMeshTri(2, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    AddObjShapeVOR(2, 2);
    EXPECT_EQ(CountTriangles(MeshOf(2)), 0);
    EXPECT_EQ(MeshOf(2)->triangleCount, 0u);
}

TEST_F(MeshBuilding, CornersKeepTheHostsOrder) {
    AddMeshTri(1, 1, 2, 3, 4, 5, 6, 7, 8, 9);
    const vor::MeshTriangle *t = TriangleAt(MeshOf(1), 1);
    ExpectVec(t->corner1, 1, 2, 3);
    ExpectVec(t->corner2, 4, 5, 6);
    ExpectVec(t->corner3, 7, 8, 9);
}

TEST_F(MeshBuilding, BadObjectNumbersAreReportedAndAddNothing) {
    Arm();
    AddMeshTri(0, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 0");
    Arm();
    const std::vector<unsigned char> block = MakeBlock(12, 3, 12, 3);
    AddMeshVOR(5001, block.data());
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[1], "Object number out of range for collision system: 5001");
    Arm();
    AddMeshVOR(3, block.data());
    ASSERT_EQ(log.texts.size(), 3u);
    EXPECT_EQ(log.texts[2], "Object not defined in collision system: 3");
    EXPECT_EQ(CountTriangles(MeshOf(1)), 0);
}

// ---- The host vertex block ---------------------------------------------------------------

TEST_F(MeshBuilding, SevenVerticesGiveTwoTrianglesAndTheLeftoverIsIgnored) {
    const std::vector<unsigned char> block = MakeBlock(12, 7, 12, 7);
    AddMeshVOR(1, block.data());
    ASSERT_EQ(CountTriangles(MeshOf(1)), 2);
    EXPECT_EQ(MeshOf(1)->triangleCount, 2u);
    ExpectVec(TriangleAt(MeshOf(1), 1)->corner1, 0, 100, 200);
    ExpectVec(TriangleAt(MeshOf(1), 2)->corner3, 5, 105, 205);
}

TEST_F(MeshBuilding, CountsBelowThreeOrNegativeAddNothing) {
    for (int32_t count : {2, 1, 0, -1, -3, -7, INT_MIN}) {
        const std::vector<unsigned char> block = MakeBlock(12, count, 12, 3);
        AddMeshVOR(1, block.data());
        EXPECT_EQ(CountTriangles(MeshOf(1)), 0) << "count " << count;
    }
}

TEST_F(MeshBuilding, StrideIsTheVertexSizeRoundedDownToWholeWords) {
    // Vertex size 34: vertices actually sit 32 bytes apart.
    const std::vector<unsigned char> block = MakeBlock(34, 6, 32, 6);
    AddMeshVOR(1, block.data());
    ASSERT_EQ(CountTriangles(MeshOf(1)), 2);
    ExpectVec(TriangleAt(MeshOf(1), 1)->corner2, 1, 101, 201);
    ExpectVec(TriangleAt(MeshOf(1), 2)->corner1, 3, 103, 203);
    ExpectVec(TriangleAt(MeshOf(1), 2)->corner3, 5, 105, 205);
}

TEST_F(MeshBuilding, TriangleKIsMadeOfVerticesThreeKMinusThreeToThreeKMinusOne) {
    const int vertices = 300;
    const std::vector<unsigned char> block = MakeBlock(20, vertices, 20, vertices);
    AddMeshVOR(1, block.data());
    ASSERT_EQ(CountTriangles(MeshOf(1)), vertices / 3);
    int k = 1;
    for (vor::ListLink *l = MeshOf(1)->triangles.head; l != nullptr; l = l->next, ++k) {
        const vor::MeshTriangle *t = vor::MemberOf<vor::MeshTriangle>(l);
        EXPECT_EQ(t->corner1.x, static_cast<float>(3 * k - 3));
        EXPECT_EQ(t->corner2.x, static_cast<float>(3 * k - 2));
        EXPECT_EQ(t->corner3.x, static_cast<float>(3 * k - 1));
    }
    ExpectVec(MeshOf(1)->boundsMin, 0, 100, 200);
    ExpectVec(MeshOf(1)->boundsMax, 299, 399, 499);
}

TEST_F(MeshBuilding, BlockTrianglesFollowThoseAlreadyInTheMesh) {
    AddMeshTri(1, -1, -1, -1, -2, -2, -2, -3, -3, -3);
    const std::vector<unsigned char> block = MakeBlock(12, 3, 12, 3);
    AddMeshVOR(1, block.data());
    ASSERT_EQ(CountTriangles(MeshOf(1)), 2);
    ExpectVec(TriangleAt(MeshOf(1), 1)->corner1, -1, -1, -1);
    ExpectVec(TriangleAt(MeshOf(1), 2)->corner1, 0, 100, 200);
    ExpectVec(MeshOf(1)->boundsMin, -3, -3, -3);
}

TEST_F(MeshBuilding, VertexSizeBelowTwelveMakesVerticesOverlap) {
    // Stride 4: vertex 1 begins at the y of vertex 0.
    std::vector<unsigned char> block(12 + 4 * 5, 0);
    const uint32_t size = 4;
    const int32_t count = 3;
    std::memcpy(&block[4], &size, 4);
    std::memcpy(&block[8], &count, 4);
    const float words[5] = {1, 2, 3, 4, 5};
    std::memcpy(&block[12], words, sizeof words);
    AddMeshVOR(1, block.data());
    ASSERT_EQ(CountTriangles(MeshOf(1)), 1);
    ExpectVec(TriangleAt(MeshOf(1), 1)->corner1, 1, 2, 3);
    ExpectVec(TriangleAt(MeshOf(1), 1)->corner2, 2, 3, 4);
    ExpectVec(TriangleAt(MeshOf(1), 1)->corner3, 3, 4, 5);
}

TEST_F(MeshBuilding, VertexSizeZeroRepeatsTheFirstVertex) {
    const std::vector<unsigned char> block = MakeBlock(0, 3, 0, 1);
    AddMeshVOR(1, block.data());
    ASSERT_EQ(CountTriangles(MeshOf(1)), 1);
    ExpectVec(TriangleAt(MeshOf(1), 1)->corner3, 0, 100, 200);
}

TEST_F(MeshBuilding, BlockAtAnOddAddressIsReadCorrectly) {
    const std::vector<unsigned char> aligned = MakeBlock(16, 3, 16, 3);
    std::vector<unsigned char> shifted(aligned.size() + 1);
    std::memcpy(&shifted[1], aligned.data(), aligned.size());
    AddMeshVOR(1, &shifted[1]);
    ASSERT_EQ(CountTriangles(MeshOf(1)), 1);
    ExpectVec(TriangleAt(MeshOf(1), 1)->corner2, 1, 101, 201);
}

TEST_F(MeshBuilding, NullBlockAddsNothingAndDoesNotCrash) {
    Arm();
    AddMeshVOR(1, nullptr);
    EXPECT_EQ(CountTriangles(MeshOf(1)), 0);
    EXPECT_TRUE(log.texts.empty());
}

TEST_F(MeshBuilding, BlockVerticesReachEveryMeshShape) {
    AddObjShapeVOR(1, 2);
    const std::vector<unsigned char> block = MakeBlock(12, 6, 12, 6);
    AddMeshVOR(1, block.data());
    EXPECT_EQ(CountTriangles(MeshOf(1, 0)), 2);
    EXPECT_EQ(CountTriangles(MeshOf(1, 1)), 2);
    ExpectVec(TriangleAt(MeshOf(1, 1), 2)->corner1, 3, 103, 203);
}

// ---- Freeing -----------------------------------------------------------------------------

TEST_F(MeshBuilding, FreeTrianglesEmptiesTheMeshAndItsCount) {
    AddMeshTri(1, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    AddMeshTri(1, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    vor::FreeTriangles(MeshOf(1));
    EXPECT_EQ(MeshOf(1)->triangles.head, nullptr);
    EXPECT_EQ(MeshOf(1)->triangles.tail, nullptr);
    EXPECT_EQ(MeshOf(1)->triangleCount, 0u);
    // A fresh first triangle starts the bounds again.
    AddMeshTri(1, 9, 9, 9, 9, 9, 9, 9, 9, 9);
    ExpectVec(MeshOf(1)->boundsMin, 9, 9, 9);
}

TEST_F(MeshBuilding, AddingOrFreeingTrianglesRetiresTheSearchStructure) {
    const int vertices = 3 * static_cast<int>(vor::kAccelMinTriangles);
    const std::vector<unsigned char> block = MakeBlock(12, vertices, 12, vertices);
    AddMeshVOR(1, block.data());
    vor::Matrix4 world;
    vor::MakeIdentity(&world);
    uint32_t count = 0;
    const auto query = [&] {
        vor::MeshAccelQuery(MeshOf(1), world, {-1000, 0, 0}, {1000, 500, 500}, {1, 1, 1}, &count);
    };
    vor::ResetStats();
    query();
    ASSERT_NE(MeshOf(1)->accel, nullptr);
    ASSERT_EQ(vor::ThreadStats().accelBuilds, 1u);
    // A new triangle is taken in by the next query, without a rebuild, and comes back from it.
    AddMeshTri(1, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    query();
    EXPECT_EQ(vor::ThreadStats().accelBuilds, 1u);
    EXPECT_EQ(vor::ThreadStats().accelInserts, 1u);
    EXPECT_EQ(
        vor::MeshAccelQuery(MeshOf(1), world, {0, 0, 0}, {0, 0, 0}, {1, 1, 1}, &count)[count - 1]
            .position,
        vor::kAccelMinTriangles);
    // Additions past a sixteenth of the mesh start a rebuild that the next queries carry on a
    // slice each and then put in place; none of them builds the whole mesh at once.
    for (uint32_t k = 0; k <= vor::kAccelMinTriangles / vor::kAccelRebuildFraction; ++k) {
        AddMeshTri(1, 0, 0, 0, 1, 0, 0, 0, 1, 0);
    }
    for (int k = 0; k < 64 && vor::ThreadStats().accelSpreadRebuilds == 0; ++k) {
        query();
    }
    EXPECT_EQ(vor::ThreadStats().accelBuilds, 1u);
    EXPECT_EQ(vor::ThreadStats().accelSpreadRebuilds, 1u);
    EXPECT_EQ(MeshOf(1)->accel->builtCount, MeshOf(1)->triangleCount);
    // Freeing the triangles frees the structure that points at them.
    vor::FreeTriangles(MeshOf(1));
    EXPECT_EQ(MeshOf(1)->accel, nullptr);
}

TEST_F(MeshBuilding, ObjectWithMeshesIsFreedCleanly) {
    const std::vector<unsigned char> block = MakeBlock(12, 30, 12, 30);
    AddMeshVOR(1, block.data());
    ActivateObjVOR(1);
    FreeObjVOR(1);
    EXPECT_EQ(vor::ObjectTable[1], nullptr);
    vor::ValidateRegistry();
}
