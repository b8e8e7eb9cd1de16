// The triangle hierarchy of a mesh: every triangle whose grown box a segment overlaps must come
// back from a query, in ascending list order, whatever the mesh, its world matrix or the radii;
// and the hierarchy follows triangles being added and the body moving.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "body/registry.h"
#include "body/transforms.h"
#include "mesh/mesh_accel.h"
#include "mesh/mesh_accel_layout.h"
#include "mesh/triangle_tests.h"
#include "support/test_support.h"

namespace {

using vor::Vec3;

class MeshAccelTest : public HostTest {
  protected:
    uint32_t boxPassed = 0; // candidates the queries marked as past the box test
    vor::MeshShape *Mesh(uint32_t n) {
        vor::ShapeHead *s = vor::MemberOf<vor::ShapeHead>(vor::ObjectTable[n]->body->shapes.head);
        return vor::AsMesh(s);
    }
    std::vector<const vor::MeshTriangle *> Triangles(uint32_t n) {
        std::vector<const vor::MeshTriangle *> all;
        for (vor::ListLink *l = Mesh(n)->triangles.head; l != nullptr; l = l->next) {
            all.push_back(vor::MemberOf<vor::MeshTriangle>(l));
        }
        return all;
    }
    const vor::Matrix4 &World(uint32_t n) {
        return vor::MeshWorldMatrix(vor::ObjectTable[n]->body);
    }
    void NewMesh(uint32_t n) {
        NewCollObjVOR(n, 2);
        AddObjShapeVOR(n, 2);
    }
    // A random soup of triangles of size up to `size` in a cube of side `extent`.
    void AddSoup(uint32_t n, uint32_t count, float extent, float size, std::mt19937 &rng) {
        std::uniform_real_distribution<float> at(-extent, extent), d(-size, size);
        for (uint32_t k = 0; k < count; ++k) {
            const float x = at(rng), y = at(rng), z = at(rng);
            AddMeshTri(n, x, y, z, x + d(rng), y + d(rng), z + d(rng), x + d(rng), y + d(rng),
                       z + d(rng));
        }
    }
    // Positions (0-based) of the triangles the box test passes, by the plain scan.
    std::vector<uint32_t> Overlapping(uint32_t n, const Vec3 &s, const Vec3 &e, const Vec3 &r) {
        std::vector<uint32_t> out;
        uint32_t k = 0;
        for (vor::ListLink *l = Mesh(n)->triangles.head; l != nullptr; l = l->next, ++k) {
            const vor::MeshTriangle *t = vor::MemberOf<vor::MeshTriangle>(l);
            const Vec3 t1 = vor::DivideComponents(vor::Transform(t->corner1, World(n)), r);
            const Vec3 t2 = vor::DivideComponents(vor::Transform(t->corner2, World(n)), r);
            const Vec3 t3 = vor::DivideComponents(vor::Transform(t->corner3, World(n)), r);
            if (vor::TriangleBoxTest(s, e, t1, t2, t3)) {
                out.push_back(k);
            }
        }
        return out;
    }
    std::vector<uint32_t> Query(uint32_t n, const Vec3 &s, const Vec3 &e, const Vec3 &r) {
        uint32_t count = 0;
        const vor::AccelCandidate *list = vor::MeshAccelQuery(Mesh(n), World(n), s, e, r, &count);
        EXPECT_NE(list, nullptr);
        std::vector<uint32_t> positions;
        const std::vector<const vor::MeshTriangle *> all = Triangles(n);
        for (uint32_t k = 0; list != nullptr && k < count; ++k) {
            positions.push_back(list[k].position);
            // Each carries its own triangle's world corners, to the bit.
            const vor::MeshTriangle *t = all.at(list[k].position);
            const Vec3 want[3] = {vor::Transform(t->corner1, World(n)),
                                  vor::Transform(t->corner2, World(n)),
                                  vor::Transform(t->corner3, World(n))};
            EXPECT_EQ(std::memcmp(list[k].corners, want, sizeof(want)), 0);
            // A candidate marked as past the box test is one: finite corners that it passes.
            if (list[k].boxPassed != 0) {
                boxPassed += 1;
                const Vec3 *c = list[k].corners;
                for (int j = 0; j < 3; ++j) {
                    EXPECT_TRUE(std::isfinite(c[j].x) && std::isfinite(c[j].y) &&
                                std::isfinite(c[j].z));
                }
                EXPECT_TRUE(vor::TriangleBoxTest(s, e, vor::DivideComponents(c[0], r),
                                                 vor::DivideComponents(c[1], r),
                                                 vor::DivideComponents(c[2], r)))
                    << "triangle " << list[k].position;
            }
        }
        return positions;
    }
    // Every overlapping triangle is a candidate, candidates ascend, and each names its triangle.
    void ExpectCovers(uint32_t n, const Vec3 &s, const Vec3 &e, const Vec3 &r) {
        const std::vector<uint32_t> want = Overlapping(n, s, e, r);
        const std::vector<uint32_t> got = Query(n, s, e, r);
        for (size_t k = 1; k < got.size(); ++k) {
            ASSERT_LT(got[k - 1], got[k]);
        }
        size_t j = 0;
        for (uint32_t w : want) {
            while (j < got.size() && got[j] < w) {
                ++j;
            }
            ASSERT_TRUE(j < got.size() && got[j] == w) << "triangle " << w << " left out";
        }
    }
};

// A margin's sine class rides in its lowest bits: setting it never lowers the margin nor moves it
// by more than 3 units in the last place, reads back, and joining two keeps the larger margin and
// the lower class; infinity stays infinite (class 0), and the empty margin joins as nothing.
TEST(MarginSineClasses, RoundUpReadBackAndJoin) {
    std::mt19937 rng(9);
    const float kInf = std::numeric_limits<float>::infinity();
    for (int round = 0; round < 20000; ++round) {
        const float m = round % 7 == 0
                            ? std::numeric_limits<float>::max()
                            : std::ldexp(std::uniform_real_distribution<float>(0, 1)(rng),
                                         static_cast<int>(rng() % 200) - 150);
        const uint32_t c = rng() % vor::kSineClasses;
        const float classed = vor::WithSineClass(m, c);
        ASSERT_GE(classed, m);
        if (std::isfinite(classed)) {
            ASSERT_EQ(vor::SineClassOf(classed), c) << m;
            ASSERT_LE(classed, std::nextafter(std::nextafter(std::nextafter(m, kInf), kInf), kInf));
            ASSERT_EQ(vor::WithSineClass(classed, c), classed); // no creep on the way round
        }
        const float other = vor::WithSineClass(m * 0.5f, 3 - c);
        const float joined = vor::JoinMargins(classed, other);
        EXPECT_GE(joined, std::max(classed, other));
        EXPECT_EQ(vor::SineClassOf(joined), std::isfinite(joined) ? std::min(c, 3 - c) : 0u);
        if (classed >= vor::kNoMargin) { // below it only the tiniest subnormals
            EXPECT_EQ(vor::JoinMargins(vor::kNoMargin, classed), classed);
        }
    }
    EXPECT_EQ(vor::WithSineClass(kInf, 2), kInf);
    EXPECT_EQ(vor::SineClassOf(kInf), 0u);
    EXPECT_EQ(vor::JoinMargins(kInf, vor::WithSineClass(1.0f, 3)), kInf);
}

TEST_F(MeshAccelTest, ASmallMeshIsLeftToThePlainScan) {
    NewMesh(1);
    AddMeshTri(1, 0, 0, 0, 0, 0, 1, 1, 0, 0);
    uint32_t count = 7;
    const Vec3 p = {0, 0, 0}, r = {1, 1, 1};
    EXPECT_EQ(vor::MeshAccelQuery(Mesh(1), World(1), p, p, r, &count), nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(Mesh(1)->accel, nullptr);
}

TEST_F(MeshAccelTest, EveryOverlappingTriangleOfARandomMeshIsACandidate) {
    std::mt19937 rng(1234);
    NewMesh(1);
    AddSoup(1, 3000, 50, 3, rng);
    std::uniform_real_distribution<float> at(-60, 60), len(-4, 4), radius(0.1f, 3.0f);
    for (int k = 0; k < 300; ++k) {
        const Vec3 r = {radius(rng), radius(rng), radius(rng)};
        const Vec3 sw = {at(rng), at(rng), at(rng)};
        const Vec3 ew = {sw.x + len(rng), sw.y + len(rng), sw.z + len(rng)};
        ExpectCovers(1, vor::DivideComponents(sw, r), vor::DivideComponents(ew, r), r);
    }
}

TEST_F(MeshAccelTest, ASegmentFarFromTheMeshGetsNoCandidates) {
    std::mt19937 rng(5);
    NewMesh(1);
    AddSoup(1, 500, 10, 1, rng);
    const Vec3 r = {1, 1, 1}, s = {100, 100, 100}, e = {101, 100, 100};
    EXPECT_TRUE(Query(1, s, e, r).empty());
}

TEST_F(MeshAccelTest, ASegmentEndingExactlyOnAGrownFaceKeepsTheTriangle) {
    NewMesh(1);
    for (int k = 0; k < 40; ++k) {
        const float x = static_cast<float>(k) * 10;
        AddMeshTri(1, x, 0, 0, x, 0, 1, x + 1, 0, 0);
    }
    // Triangle 0 spans x 0..1; its grown box ends at x = 2, where the segment lies.
    const Vec3 r = {1, 1, 1}, s = {2, 0, 0}, e = {2, 0, 5};
    ASSERT_EQ(Overlapping(1, s, e, r), std::vector<uint32_t>{0});
    const std::vector<uint32_t> got = Query(1, s, e, r);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0], 0u);
    // A hair further out the box test drops it; whatever the leaf holds, nothing is lost.
    const Vec3 s2 = {std::nextafter(2.0f, 3.0f), 0, 0}, e2 = {s2.x, 0, 5};
    EXPECT_TRUE(Overlapping(1, s2, e2, r).empty());
    ExpectCovers(1, s2, e2, r);
    // Far from every leaf, nothing comes back at all.
    const Vec3 s3 = {-100, 0, 0}, e3 = {-100, 0, 5};
    EXPECT_TRUE(Query(1, s3, e3, r).empty());
}

TEST_F(MeshAccelTest, RotatedScaledAndMovedMeshesAreCoveredAfterEachMove) {
    std::mt19937 rng(99);
    NewMesh(1);
    AddSoup(1, 1000, 20, 2, rng);
    std::uniform_real_distribution<float> angle(-180, 180), pos(-30, 30), scale(20, 300),
        len(-3, 3), radius(0.2f, 2.0f);
    for (int pose = 0; pose < 6; ++pose) {
        SetObjScaleVOR(1, scale(rng), scale(rng), scale(rng));
        SetObjPosVOR(pos(rng), pos(rng), pos(rng));
        SetObjRotVOR(angle(rng), angle(rng), angle(rng));
        UpdateObjVOR(1, 1);
        for (int k = 0; k < 60; ++k) {
            const Vec3 r = {radius(rng), radius(rng), radius(rng)};
            const Vec3 sw = {pos(rng) * 2, pos(rng) * 2, pos(rng) * 2};
            const Vec3 ew = {sw.x + len(rng), sw.y + len(rng), sw.z + len(rng)};
            ExpectCovers(1, vor::DivideComponents(sw, r), vor::DivideComponents(ew, r), r);
        }
    }
}

TEST_F(MeshAccelTest, TrianglesAddedAfterAQueryAreFoundByTheNext) {
    std::mt19937 rng(3);
    NewMesh(1);
    AddSoup(1, 100, 10, 1, rng);
    const Vec3 r = {1, 1, 1}, s = {500, 500, 500}, e = {500, 501, 500};
    EXPECT_TRUE(Query(1, s, e, r).empty());
    AddMeshTri(1, 500, 500, 500, 500, 500, 501, 501, 500, 500);
    const std::vector<uint32_t> got = Query(1, s, e, r);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back(), 100u);
    ExpectCovers(1, s, e, r);
}

TEST_F(MeshAccelTest, NonFiniteCornersAndSegmentsNeverLoseATriangle) {
    std::mt19937 rng(77);
    NewMesh(1);
    AddSoup(1, 200, 10, 1, rng);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    AddMeshTri(1, nan, nan, nan, nan, nan, nan, nan, nan, nan);
    AddMeshTri(1, nan, 0, 0, 1, nan, 0, 0, 1, nan);
    AddMeshTri(1, inf, 0, 0, 0, -inf, 0, 0, 0, 1e30f);
    AddSoup(1, 200, 10, 1, rng);
    const Vec3 r = {0.5f, 1, 2};
    const Vec3 segments[][2] = {{{0, 0, 0}, {1, 1, 1}},          {{nan, 0, 0}, {1, 1, 1}},
                                {{50, 50, 50}, {nan, nan, nan}}, {{inf, 0, 0}, {inf, 0, 0}},
                                {{-inf, 3, 3}, {inf, 3, 3}},     {{1e30f, 0, 0}, {-1e30f, 0, 0}}};
    for (const auto &seg : segments) {
        ExpectCovers(1, seg[0], seg[1], r);
        // An infinite radius makes an infinite corner's quotient NaN, which the box test passes
        // over where the search's box of the corners does not: such candidates are not marked.
        ExpectCovers(1, seg[0], seg[1], Vec3{inf, 1, 1});
    }
    EXPECT_GT(boxPassed, 100u);
    // A degenerate world matrix (zero scale on one axis) is covered too.
    SetObjScaleVOR(1, 0, 100, 100);
    UpdateObjVOR(1, 1);
    for (const auto &seg : segments) {
        ExpectCovers(1, seg[0], seg[1], r);
    }
}

TEST_F(MeshAccelTest, NonPositiveRadiiAreLeftToThePlainScan) {
    std::mt19937 rng(8);
    NewMesh(1);
    AddSoup(1, 100, 10, 1, rng);
    uint32_t count = 0;
    const Vec3 p = {0, 0, 0};
    const Vec3 bad[] = {{0, 1, 1}, {1, -1, 1}, {1, 1, std::numeric_limits<float>::quiet_NaN()}};
    for (const Vec3 &r : bad) {
        EXPECT_EQ(vor::MeshAccelQuery(Mesh(1), World(1), p, p, r, &count), nullptr);
    }
}

TEST_F(MeshAccelTest, TheHierarchyTakesLessMemoryThanTheTriangles) {
    std::mt19937 rng(21);
    NewMesh(1);
    AddSoup(1, 20000, 100, 1, rng);
    const Vec3 p = {0, 0, 0}, r = {1, 1, 1};
    Query(1, p, p, r);
    EXPECT_GT(vor::MeshAccelBytes(Mesh(1)), 0u);
    EXPECT_LE(vor::MeshAccelBytes(Mesh(1)), vor::MeshTriangleBytes(Mesh(1)));
    vor::FreeMeshAccel(Mesh(1));
    EXPECT_EQ(Mesh(1)->accel, nullptr);
    EXPECT_EQ(vor::MeshAccelBytes(Mesh(1)), 0u);
}

TEST_F(MeshAccelTest, AdditionsAfterTheFirstBuildFindRoomWithoutGrowingTheArrays) {
    std::mt19937 rng(23);
    NewMesh(1);
    AddSoup(1, 40000, 100, 1, rng);
    const Vec3 p = {0, 0, 0}, e = {3, 1, 2}, r = {1, 1, 1};
    Query(1, p, p, r);
    const size_t built = vor::MeshAccelBytes(Mesh(1));
    // The room (less on 32-bit targets, whose triangles take less memory): an addition takes an
    // item and at most a node or two, so half of the smaller room is within it.
    const vor::MeshAccel *accel = Mesh(1)->accel;
    const uint32_t additions = std::min(accel->itemCapacity - accel->itemCount,
                                        accel->nodeCapacity - accel->nodeCount) / 2;
    ASSERT_GE(additions, 60u);
    vor::ResetStats();
    // Scattered additions, one at a time with a query between: the room made by the build takes
    // them (growing copies the whole array and touches the copy's pages, a stall on a large mesh).
    for (uint32_t k = 0; k < additions; ++k) {
        AddSoup(1, 1, 100, 1, rng);
        ASSERT_EQ(Query(1, p, e, r), Overlapping(1, p, e, r)) << "addition " << k;
    }
    EXPECT_EQ(vor::ThreadStats().accelInserts, additions);
    EXPECT_EQ(vor::ThreadStats().accelArrayGrowths, 0u);
    EXPECT_EQ(vor::ThreadStats().accelBuilds, 0u);
    EXPECT_EQ(vor::MeshAccelBytes(Mesh(1)), built);
    // Still within the triangles' own memory, room included; a mesh not seen growing holds a
    // quarter of a grown one's room, well within it where a triangle record takes 56 bytes.
    EXPECT_LE(built, vor::MeshTriangleBytes(Mesh(1)));
    if (sizeof(void *) == 8) {
        EXPECT_LE(static_cast<double>(built), 0.85 * vor::MeshTriangleBytes(Mesh(1)));
    }
}

// A mesh that keeps growing, one triangle at a time, scattered and then clustered within a unit
// (which deepens one path, so subtrees are built afresh): once an array of the hierarchy runs short
// it is moved into a larger one a slice an addition (never copied whole in one call), and no
// triangle is lost on the way: each is found where it was added, right away and at the end.
TEST_F(MeshAccelTest, AGrowingMeshMovesItsArraysASliceAtATimeAndLosesNoTriangle) {
    std::mt19937 rng(24);
    NewMesh(1);
    AddSoup(1, 20000, 100, 1, rng);
    const Vec3 r = {1, 1, 1}; // unit radii: the queries' points are the corners themselves
    Query(1, {0, 0, 0}, {0, 0, 0}, r);
    vor::ResetStats();
    std::uniform_real_distribution<float> scattered(-100, 100), clustered(40, 41);
    std::vector<Vec3> corners;
    const auto found = [&](uint32_t k) {
        const std::vector<uint32_t> got = Query(1, corners[k], corners[k], r);
        return std::find(got.begin(), got.end(), 20000 + k) != got.end();
    };
    for (uint32_t k = 0; k < 2100; ++k) {
        auto &at = k < 1500 ? scattered : clustered;
        const Vec3 c = {at(rng), at(rng), at(rng)};
        corners.push_back(c);
        AddMeshTri(1, c.x, c.y, c.z, c.x + 0.5f, c.y, c.z, c.x, c.y, c.z + 0.5f);
        ASSERT_TRUE(found(k)) << "addition " << k;
        // Earlier ones too, before a rebuild in slices could hide one that a move lost.
        for (int check = 0; check < 3; ++check) {
            const uint32_t j = std::uniform_int_distribution<uint32_t>(0, k)(rng);
            ASSERT_TRUE(found(j)) << "addition " << j << ", after addition " << k;
        }
    }
    for (uint32_t k = 0; k < corners.size(); ++k) {
        ASSERT_TRUE(found(k)) << "addition " << k << ", at the end";
    }
    EXPECT_GE(vor::ThreadStats().accelArrayMoves, 2u);
    EXPECT_GE(vor::ThreadStats().accelSubtreeRebuilds, 1u);
    EXPECT_EQ(vor::ThreadStats().accelArrayGrowths, 0u);
}

// A mesh moved while one of its arrays is being moved: the refit rewrites every item and node in
// place, so the move under way must not finish with copies from before it.
TEST_F(MeshAccelTest, AMeshMovedWhileItsArraysMoveKeepsEveryTriangle) {
    std::mt19937 rng(25);
    NewMesh(1);
    AddSoup(1, 20000, 100, 1, rng);
    // Off the origin, so that world corners and the triangles' own differ.
    SetObjPosVOR(50, 0, 0);
    UpdateObjVOR(1, 1);
    const Vec3 r = {1, 1, 1}, o = {0, 0, 0};
    Query(1, o, o, r);
    // Half way through moving the items.
    const auto moving = [&] {
        const vor::MeshAccel *accel = Mesh(1)->accel;
        return accel->itemMove.block != nullptr && accel->itemMove.copied > accel->itemCount / 2;
    };
    for (int k = 0; k < 5000 && !moving(); ++k) {
        AddSoup(1, 1, 100, 1, rng);
        Query(1, o, o, r);
    }
    ASSERT_TRUE(moving());
    SetObjPosVOR(53, 0, 0);
    UpdateObjVOR(1, 1);
    for (int k = 0; k < 600; ++k) {
        AddSoup(1, 1, 100, 1, rng);
        Query(1, o, o, r);
    }
    std::uniform_real_distribution<float> at(-100, 100), len(-3, 3);
    for (int k = 0; k < 300; ++k) {
        const Vec3 s = {at(rng), at(rng), at(rng)};
        ExpectCovers(1, s, {s.x + len(rng), s.y + len(rng), s.z + len(rng)}, r);
    }
}

TEST_F(MeshAccelTest, AGrownMeshIsRebuiltInSlicesAndStaysSmallerThanItsTriangles) {
    std::mt19937 rng(22);
    NewMesh(1);
    AddSoup(1, 20000, 100, 1, rng);
    const Vec3 p = {0, 0, 0}, e = {3, 1, 2}, r = {1, 1, 1};
    Query(1, p, p, r);
    vor::ResetStats();
    // Past a sixteenth, then queries (each one checked against the plain scan) until the fresh
    // hierarchy is in place: never a whole build, and the memory within the triangles' again.
    AddSoup(1, 1400, 100, 1, rng);
    int queries = 0;
    while (vor::ThreadStats().accelSpreadRebuilds == 0 && queries < 5000) {
        EXPECT_EQ(Query(1, p, e, r), Overlapping(1, p, e, r)) << "query " << queries;
        ++queries;
    }
    EXPECT_EQ(vor::ThreadStats().accelSpreadRebuilds, 1u);
    EXPECT_EQ(vor::ThreadStats().accelBuilds, 0u);
    EXPECT_LE(vor::MeshAccelBytes(Mesh(1)), vor::MeshTriangleBytes(Mesh(1)));
    // A mesh seen growing gets the whole room again: a sixteenth more items (64-bit pointers,
    // where the triangles' own memory leaves that much).
    const vor::MeshAccel *accel = Mesh(1)->accel;
    if (sizeof(void *) == 8) {
        EXPECT_GE(accel->itemCapacity - accel->itemCount, accel->itemCount / 16 - 100);
    }
    EXPECT_EQ(Query(1, p, e, r), Overlapping(1, p, e, r));
}

} // namespace
