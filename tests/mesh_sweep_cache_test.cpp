// The triangles an ellipsoid keeps serve exactly the steps inside the box that was searched: for
// such a step the kept triangles whose grown boxes it meets are, in list order, every triangle of
// the mesh that the box test passes, and a step with an end outside the box, or after the mesh,
// its matrix or the radii changed in the least, takes nothing.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "body/transforms.h"
#include "core/intrusive_list.h"
#include "core/records.h"
#include "mesh/mesh_accel.h"
#include "mesh/triangle_tests.h"
#include "pass/mesh_sweep_cache.h"
#include "support/test_support.h"

namespace {

using vor::Vec3;

class MeshSweepCacheTest : public HostTest {
  protected:
    vor::ShapeHead *Shape(uint32_t n) {
        return vor::MemberOf<vor::ShapeHead>(vor::ObjectTable[n]->body->shapes.head);
    }
    vor::MeshShape *Mesh() { return vor::AsMesh(Shape(1)); }
    vor::EllipsoidShape *Ellipsoid() { return vor::AsEllipsoid(Shape(2)); }
    const vor::Matrix4 &World() { return vor::MeshWorldMatrix(vor::ObjectTable[1]->body); }
    Vec3 R() { return Ellipsoid()->radii; }

    // A level of unit cells with lids scattered just above it, and the ellipsoid.
    void MakeScene(std::mt19937 &rng) {
        MakeLevel(rng);
        NewCollObjVOR(2, 1);
        AddObjShapeVOR(2, 1);
        SetObjRadiusVOR(2, 0.3f, 0.5f, 0.3f);
    }
    void MakeLevel(std::mt19937 &rng) {
        NewCollObjVOR(1, 2);
        AddObjShapeVOR(1, 2);
        std::uniform_real_distribution<float> at(0, 12), h(0, 0.5f), d(0.05f, 1.5f);
        for (int i = 0; i < 12; ++i) {
            for (int j = 0; j < 12; ++j) {
                AddMeshTri(1, i, 0, j, i, 0, j + 1, i + 1, 0, j);
                AddMeshTri(1, i + 1, 0, j, i, 0, j + 1, i + 1, 0, j + 1);
            }
        }
        for (int k = 0; k < 60; ++k) {
            const float x = at(rng), y = h(rng), z = at(rng);
            AddMeshTri(1, x, y, z, x, y, z + d(rng), x + d(rng), y, z);
        }
    }
    // Searches the box of step s..e and keeps it as the sweep does; answers whether it was kept.
    bool Keep(const Vec3 &s, const Vec3 &e, Vec3 *lo, Vec3 *hi) {
        vor::SweepCacheBox(s, e, lo, hi);
        uint32_t count = 0;
        const vor::AccelCandidate *found =
            vor::MeshAccelQuery(Mesh(), World(), *lo, *hi, R(), &count);
        vor::MeshSweepCache *keep =
            vor::KeepSweepCandidates(Ellipsoid(), Mesh(), World(), *lo, *hi, count);
        for (uint32_t k = 0; keep != nullptr && k < count; ++k) {
            const vor::KeptTriangle t = vor::KeepTriangle(found[k].position, found[k].corners, R());
            vor::StoreKept(keep, k, t, vor::KeptBox(t));
        }
        return keep != nullptr;
    }
    // Every triangle the box test passes for s..e, by the plain scan, in list order.
    std::vector<uint32_t> Overlapping(const Vec3 &s, const Vec3 &e) {
        std::vector<uint32_t> out;
        uint32_t k = 0;
        for (vor::ListLink *l = Mesh()->triangles.head; l != nullptr; l = l->next, ++k) {
            const vor::MeshTriangle *t = vor::MemberOf<vor::MeshTriangle>(l);
            const Vec3 r = R();
            if (vor::TriangleBoxTest(
                    s, e, vor::DivideComponents(vor::Transform(t->corner1, World()), r),
                    vor::DivideComponents(vor::Transform(t->corner2, World()), r),
                    vor::DivideComponents(vor::Transform(t->corner3, World()), r))) {
                out.push_back(k);
            }
        }
        return out;
    }
    bool Taken(const Vec3 &s, const Vec3 &e) {
        return vor::TakeKeptCandidates(Ellipsoid(), Mesh(), World(), s, e) != nullptr;
    }
};

TEST_F(MeshSweepCacheTest, AStepInsideTheSearchedBoxFindsEveryTriangleTheBoxTestPasses) {
    std::mt19937 rng(5);
    MakeScene(rng);
    std::uniform_real_distribution<float> place(2, 38), rise(-0.5f, 1.5f), move(-0.4f, 0.4f),
        u(0, 1);
    uint32_t taken = 0, refused = 0;
    for (int round = 0; round < 300; ++round) {
        const Vec3 s = {place(rng), rise(rng), place(rng)};
        const Vec3 e = {s.x + move(rng), s.y + move(rng), s.z + move(rng)};
        Vec3 lo, hi;
        ASSERT_TRUE(Keep(s, e, &lo, &hi));
        for (int k = 0; k < 20; ++k) {
            // Ends anywhere in the box, on its faces, or just past one.
            Vec3 ends[2];
            for (Vec3 &p : ends) {
                p = {lo.x + u(rng) * (hi.x - lo.x), lo.y + u(rng) * (hi.y - lo.y),
                     lo.z + u(rng) * (hi.z - lo.z)};
                const uint32_t kind = rng() % 6;
                if (kind == 0) {
                    p.y = lo.y;
                } else if (kind == 1) {
                    p.x = hi.x;
                } else if (kind == 2) {
                    p.z = std::nextafter(lo.z, -1e9f);
                }
            }
            const bool inside = ends[0].z >= lo.z && ends[1].z >= lo.z;
            const vor::MeshSweepCache *c =
                vor::TakeKeptCandidates(Ellipsoid(), Mesh(), World(), ends[0], ends[1]);
            ASSERT_EQ(c != nullptr, inside) << "round " << round;
            if (c == nullptr) {
                refused += 1;
                continue;
            }
            taken += 1;
            std::vector<uint32_t> met;
            for (uint32_t j = 0; j < c->count; ++j) {
                // Each box is its own triangle's, however often the list has grown.
                const vor::GrownBox own = vor::KeptBox(c->kept[j]);
                ASSERT_EQ(std::memcmp(&own, &c->boxes[j], sizeof own), 0) << "round " << round;
                if (vor::GrownBoxMeets(c->boxes[j], ends[0], ends[1])) {
                    met.push_back(c->kept[j].position);
                }
            }
            ASSERT_EQ(met, Overlapping(ends[0], ends[1])) << "round " << round;
        }
    }
    EXPECT_GT(taken, 3000u);
    EXPECT_GT(refused, 500u);
}

TEST_F(MeshSweepCacheTest, AnyChangeToTheMeshItsPoseOrTheRadiiRefusesTheList) {
    std::mt19937 rng(6);
    MakeScene(rng);
    const Vec3 s = {20, 1, 20}, e = {20.1f, 0.9f, 20};
    Vec3 lo, hi;
    ASSERT_TRUE(Keep(s, e, &lo, &hi));
    EXPECT_TRUE(Taken(s, e));
    // Radii a part in ten thousand apart on one axis.
    SetObjRadiusVOR(2, 0.3f * 1.0001f, 0.5f, 0.3f);
    EXPECT_FALSE(Taken(s, e));
    SetObjRadiusVOR(2, 0.3f, 0.5f, 0.3f);
    ASSERT_TRUE(Keep(s, e, &lo, &hi));
    AddMeshTri(1, 6, 0.2f, 6, 6, 0.2f, 7, 7, 0.2f, 6); // a triangle more
    EXPECT_FALSE(Taken(s, e));
    ASSERT_TRUE(Keep(s, e, &lo, &hi));
    SetObjPosVOR(0, 1e-6f, 0); // the mesh moved a hair
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(1, 1);
    EXPECT_FALSE(Taken(s, e));
    ASSERT_TRUE(Keep(s, e, &lo, &hi));
    // A shape that is not the mesh searched, though it holds as many triangles: a copy made by
    // hand has no serial, and a mesh made again under the same number has another.
    vor::MeshShape copy = *Mesh();
    copy.serial = 0;
    EXPECT_EQ(vor::TakeKeptCandidates(Ellipsoid(), &copy, World(), s, e), nullptr);
    const uint64_t before = Mesh()->serial;
    FreeObjVOR(1);
    std::mt19937 again(6);
    MakeLevel(again); // the same triangles, maybe at the same address
    EXPECT_NE(Mesh()->serial, before);
    EXPECT_FALSE(Taken(s, e));
}

// The pieces of a level made of several meshes keep their own lists, up to four: a fifth takes the
// least lately used one's slot, and a search that finds nothing takes none.
TEST_F(MeshSweepCacheTest, FourMeshesKeepTheirOwnListsAndAFifthTakesTheLeastLatelyUsed) {
    std::mt19937 rng(7);
    MakeScene(rng);
    std::vector<vor::MeshShape *> pieces = {Mesh()};
    for (uint32_t n = 10; n < 14; ++n) { // four more meshes, each a copy of the level's first cells
        NewCollObjVOR(n, 2);
        AddObjShapeVOR(n, 2);
        for (int k = 0; k < 40; ++k) {
            AddMeshTri(n, k % 8, 0, k / 8, k % 8, 0, k / 8 + 1, k % 8 + 1, 0, k / 8);
        }
        pieces.push_back(vor::AsMesh(Shape(n)));
    }
    const Vec3 s = {5, 1, 5}, e = {5.2f, 0.9f, 5.1f};
    Vec3 lo, hi;
    SweepCacheBox(s, e, &lo, &hi);
    const auto keep = [&](vor::MeshShape *mesh) {
        uint32_t count = 0;
        vor::MeshAccelQuery(mesh, World(), lo, hi, R(), &count);
        return vor::KeepSweepCandidates(Ellipsoid(), mesh, World(), lo, hi, count) != nullptr;
    };
    const auto taken = [&](vor::MeshShape *mesh) {
        return vor::TakeKeptCandidates(Ellipsoid(), mesh, World(), s, e) != nullptr;
    };
    for (int k = 0; k < 4; ++k) {
        ASSERT_TRUE(keep(pieces[k]));
    }
    for (int k = 0; k < 4; ++k) {
        EXPECT_TRUE(taken(pieces[k])) << k;
    }
    EXPECT_TRUE(taken(pieces[0])); // now the latest used; pieces[1] the least lately
    ASSERT_TRUE(keep(pieces[4]));
    EXPECT_FALSE(taken(pieces[1]));
    for (int k : {0, 2, 3, 4}) {
        EXPECT_TRUE(taken(pieces[k])) << k;
    }
    // Far from every piece but the level's far corner: nothing found, no slot given up.
    const Vec3 far = {150, 1, 150};
    SweepCacheBox(far, far, &lo, &hi);
    EXPECT_FALSE(keep(pieces[1]));
    SweepCacheBox(s, e, &lo, &hi);
    for (int k : {0, 2, 3, 4}) {
        EXPECT_TRUE(taken(pieces[k])) << k;
    }
}

} // namespace
