// Determinism of a mesh scene: a floor grid, a ramp, two walls and a turning, rising platform with
// three bodies walking, falling and riding for 120 frames. Every value a host reads back (poses,
// angles, contacts with their triangles, a ray per frame) is folded into an FNV-1a hash, which
// must match the stored one and must repeat after a StopCollisionVOR in the same process.
#include <cstdint>
#include <cstdio>

#include "support/test_support.h"

namespace {

// Hash of the scene below as this library computes it; a change means results changed bits.
constexpr uint64_t kMeshSceneHash = 0xd830628c3aa644d3ull;

void Quad(uint32_t n, float px, float py, float pz, float ux, float uy, float uz, float vx,
          float vy, float vz) {
    AddMeshTri(n, px, py, pz, px + ux, py + uy, pz + uz, px + ux + vx, py + uy + vy, pz + uz + vz);
    AddMeshTri(n, px, py, pz, px + ux + vx, py + uy + vy, pz + uz + vz, px + vx, py + vy, pz + vz);
}

void BuildScene() {
    // Static world, type 2: a grid floor, a ramp rising along +x and two walls.
    NewCollObjVOR(10, 2);
    AddObjShapeVOR(10, 2);
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 8; ++k) {
            Quad(10, -16.0f + 4 * i, 0, -16.0f + 4 * k, 0, 0, 4, 4, 0, 0);
        }
    }
    Quad(10, 4, 0, -16, 0, 0, 8, 8, 3, 0);     // ramp
    Quad(10, 16, -2, -16, 0, 0, 32, 0, 10, 0); // wall x = 16 facing -x
    Quad(10, -16, -2, 16, 0, 10, 0, 32, 0, 0); // wall z = 16 facing -z
    ActivateObjVOR(10);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(10, 1);

    // Platform, type 3: a square that rises and turns.
    NewCollObjVOR(11, 3);
    AddObjShapeVOR(11, 2);
    Quad(11, -3, 0, -3, 0, 0, 6, 6, 0, 0);
    ActivateObjVOR(11);
    SetObjPosVOR(-10, 0.5f, -10);
    SetObjRotVOR(0, 0, 0);
    UpdateObjVOR(11, 1);

    // Movers, type 1, with gravity; body 3 is an ellipsoid with an offset.
    const float starts[3][3] = {{0, 3, 0}, {2, 6, -12}, {-10, 2.5f, -10}};
    for (uint32_t n = 1; n <= 3; ++n) {
        NewCollObjVOR(n, 1);
        AddObjShapeVOR(n, 1);
        SetObjGravityVOR(n, 0.15f);
        ActivateObjVOR(n);
        SetObjPosVOR(starts[n - 1][0], starts[n - 1][1], starts[n - 1][2]);
        UpdateObjVOR(n, 1);
    }
    SetObjRadiusVOR(2, 0.8f, 1.2f, 0.8f);
    SetEllipOffsetVOR(3, 0, 0.25f, 0);
    SetCollisionsVOR(1, 2, 2, 4, 1);
    SetCollisionsVOR(1, 3, 2, 3, 3);
    SetCollisionsVOR(1, 1, 1, 2, 1);
}

void HashObject(ReadBackHash &h, uint32_t n) {
    h.Add(PeekObjXVOR(n));
    h.Add(PeekObjYVOR(n));
    h.Add(PeekObjZVOR(n));
    h.Add(PeekObjPitch(n));
    h.Add(PeekObjYaw(n));
    h.Add(PeekObjRoll(n));
    const int32_t count = CountCollisionsVOR(n);
    h.Add(count);
    for (int32_t k = 1; k <= count; ++k) {
        for (int32_t axis = 1; axis <= 3; ++axis) {
            h.Add(CollisionHitPos(n, k, axis));
            h.Add(CollisionHitNorm(n, k, axis));
        }
        h.Add(CollisionHitObj(n, k));
        h.Add(CollisionHitType(n, k));
        h.Add(CollisionHitShape(n, k));
        h.Add(CollisionHitPoly(n, k));
        for (int32_t corner = 1; corner <= 3; ++corner) {
            for (int32_t axis = 1; axis <= 3; ++axis) {
                h.Add(CollisionTriCorner(n, k, corner, axis));
            }
        }
    }
}

uint64_t RunScene() {
    BuildScene();
    ReadBackHash h;
    const float walk[3][2] = {{0.21f, 0.13f}, {0.3f, 0.05f}, {0, 0}};
    for (int frame = 1; frame <= 120; ++frame) {
        SetObjPosVOR(-10, 0.5f + 0.02f * frame, -10);
        SetObjRotVOR(0, 3.0f * frame, 0);
        UpdateObjVOR(11, 0);
        for (uint32_t n = 1; n <= 3; ++n) {
            SetObjPosVOR(vorFloatFromBits(PeekObjXVOR(n)) + walk[n - 1][0],
                         vorFloatFromBits(PeekObjYVOR(n)),
                         vorFloatFromBits(PeekObjZVOR(n)) + walk[n - 1][1]);
            SetObjRotVOR(0, vorFloatFromBits(PeekObjYaw(n)), 0);
            UpdateObjVOR(n, 0);
        }
        RunCollisionVOR();
        for (uint32_t n = 1; n <= 3; ++n) {
            HashObject(h, n);
        }
        h.Add(RayIntersectTypeVOR(2, 2, 0.1f * frame - 6, 8, -3, 0.1f * frame - 6, -8, 2));
        h.Add(RayHitPosX());
        h.Add(RayHitPosY());
        h.Add(RayHitPosZ());
        h.Add(RayHitNormX());
        h.Add(RayHitNormY());
        h.Add(RayHitNormZ());
        h.Add(RayHitDist());
        h.Add(RayIntersectTypeVOR(1, 1, -20, 1, 0.05f * frame - 3, 20, 1, 0.05f * frame - 3));
        h.Add(RayHitDist());
        h.Add(RayHitObjVOR());
    }
    return h.h;
}

class DeterminismMeshTest : public HostTest {};

TEST_F(DeterminismMeshTest, MeshSceneHashesToTheStoredValue) {
    const uint64_t hash = RunScene();
    EXPECT_EQ(hash, kMeshSceneHash) << "hash 0x" << std::hex << hash;
}

// The scene's mesh sweeps on 2, 3 and 8 threads (its few bodies let in) hash to the same value.
TEST_F(DeterminismMeshTest, MeshSceneHashesToTheStoredValueOnEveryWorkerCount) {
    vor::MinBodiesOnWorkers = 2;
    for (const int32_t workers : {2, 3, 8}) {
        StopCollisionVOR();
        SetWorkerCountVOR(workers);
        vor::ResetStats();
        const uint64_t hash = RunScene();
        EXPECT_EQ(hash, kMeshSceneHash) << workers << " workers: hash 0x" << std::hex << hash;
        EXPECT_GT(vor::ThreadStats().workerJobs, 0u) << workers << " workers";
    }
}

TEST_F(DeterminismMeshTest, MeshSceneRepeatsAfterStop) {
    const uint64_t first = RunScene();
    StopCollisionVOR();
    const uint64_t second = RunScene();
    EXPECT_EQ(first, second);
}

} // namespace
