// Scenes of many frames driven only through the exports, the way a game runs them: each frame
// the host asks for a position, updates, runs a pass and reads the result back. Expectations come
// from the geometry of the scene (plane distances, directions), not from library internals.
#include <cmath>

#include "support/test_support.h"

namespace {

struct V {
    float x, y, z;
};

// Plane-distance slack: positions come out of chains of float operations over many frames.
constexpr float kSlack = 1e-4f;

class MeshScenarioTest : public HostTest {
  protected:
    // Two triangles spanning p, p+u, p+u+v, p+v, facing along u x v.
    void AddParallelogram(uint32_t n, V p, V u, V v) {
        const V pu{p.x + u.x, p.y + u.y, p.z + u.z};
        const V pv{p.x + v.x, p.y + v.y, p.z + v.z};
        const V puv{pu.x + v.x, pu.y + v.y, pu.z + v.z};
        AddMeshTri(n, p.x, p.y, p.z, pu.x, pu.y, pu.z, puv.x, puv.y, puv.z);
        AddMeshTri(n, p.x, p.y, p.z, puv.x, puv.y, puv.z, pv.x, pv.y, pv.z);
    }
    void NewMesh(uint32_t n, uint32_t type) {
        NewCollObjVOR(n, type);
        AddObjShapeVOR(n, 2);
    }
    void Finish(uint32_t n) {
        ActivateObjVOR(n);
        Place(n, 0, 0, 0);
    }
    // A square floor of half-size h at height y, facing up.
    void Floor(uint32_t n, float y, float h = 50) {
        AddParallelogram(n, V{-h, y, -h}, V{0, 0, 2 * h}, V{2 * h, 0, 0});
    }
    // The plane x = at, facing -x; and the plane z = at, facing -z.
    void WallX(uint32_t n, float at, float h = 50) {
        AddParallelogram(n, V{at, -h, -h}, V{0, 0, 2 * h}, V{0, 2 * h, 0});
    }
    void WallZ(uint32_t n, float at, float h = 50) {
        AddParallelogram(n, V{-h, -h, at}, V{0, 2 * h, 0}, V{2 * h, 0, 0});
    }
    // A slope through the origin rising along +x by the angle (radians); normal (-sin, cos, 0).
    void Ramp(uint32_t n, double angle, float h = 50) {
        const float c = static_cast<float>(std::cos(angle)),
                    s = static_cast<float>(std::sin(angle));
        AddParallelogram(n, V{-h * c, -h * s, -h}, V{0, 0, 2 * h}, V{2 * h * c, 2 * h * s, 0});
    }
    // One host frame for object n: ask to move by (dx, dz) from where it is, keeping its angles.
    void Request(uint32_t n, float dx, float dz) {
        SetObjPosVOR(X(n) + dx, Y(n), Z(n) + dz);
        SetObjRotVOR(F(PeekObjPitch(n)), F(PeekObjYaw(n)), F(PeekObjRoll(n)));
        UpdateObjVOR(n, 0);
    }
    void Frame(uint32_t n, float dx = 0, float dz = 0) {
        Request(n, dx, dz);
        RunCollisionVOR();
    }
    // Moves the mesh object 2 to (x, y, z) with the yaw, for the next pass.
    void MovePlatform(float x, float y = 0, float z = 0, float yaw = 0) {
        SetObjPosVOR(x, y, z);
        SetObjRotVOR(0, yaw, 0);
        UpdateObjVOR(2, 0);
    }
    bool Finite(uint32_t n) {
        return std::isfinite(X(n)) && std::isfinite(Y(n)) && std::isfinite(Z(n));
    }
};

// --- Standing and falling -------------------------------------------------------------------

TEST_F(MeshScenarioTest, BodyUnderGravityStandsStillOnAFloor) {
    NewMesh(2, 2);
    Floor(2, 0);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    MakeEllipsoid(1, 1);
    SetObjGravityVOR(1, 0.25f);
    Place(1, 0.5f, 3, 0.5f);
    for (int i = 0; i < 20; ++i) {
        Frame(1);
        ASSERT_GE(Y(1), 1.0f - kSlack) << "frame " << i;
    }
    const float rest = Y(1);
    EXPECT_NEAR(rest, 1.0f, kSlack);
    for (int i = 0; i < 200; ++i) {
        Frame(1);
        ASSERT_EQ(Y(1), rest) << "frame " << i; // no sinking, no bobbing
        ASSERT_EQ(X(1), 0.5f);
        ASSERT_EQ(Z(1), 0.5f);
        ASSERT_EQ(CountCollisionsVOR(1), 1);
        ASSERT_EQ(F(CollisionHitNorm(1, 1, 2)), 1.0f);
    }
}

TEST_F(MeshScenarioTest, FastBodyDoesNotPassThroughAThinFloor) {
    NewMesh(2, 2);
    Floor(2, 0);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    MakeEllipsoid(1, 1, 0.5f, 0.5f, 0.5f);
    SetObjGravityVOR(1, 3.0f); // six radii per frame
    Place(1, 0, 20, 0);
    for (int i = 0; i < 30; ++i) {
        Frame(1);
        ASSERT_GE(Y(1), 0.5f - kSlack) << "frame " << i;
    }
    EXPECT_NEAR(Y(1), 0.5f, kSlack);
}

// A mesh scaled up between passes: the next pass compares bodies with its new bounds, not with
// the bounds cube the passes before worked out for it (a body beside the small floor falls past
// it; beside the floor ten times as wide it lands on it).
TEST_F(MeshScenarioTest, AMeshScaledBetweenPassesIsBoundedByItsNewSize) {
    NewMesh(2, 2);
    Floor(2, 0, 1);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 1, 1);
    MakeEllipsoid(1, 1, 0.5f, 0.5f, 0.5f);
    Place(1, 5, 3, 0);
    MoveTo(1, 5, -3, 0);
    RunCollisionVOR();
    EXPECT_EQ(Y(1), -3.0f);
    EXPECT_EQ(CountCollisionsVOR(1), 0);
    SetObjScaleVOR(2, 1000, 1000, 1000);
    Place(2, 0, 0, 0);
    Place(1, 5, 3, 0);
    MoveTo(1, 5, -3, 0);
    RunCollisionVOR();
    EXPECT_NEAR(Y(1), 0.5f, kSlack);
    EXPECT_EQ(CountCollisionsVOR(1), 1);
}

TEST_F(MeshScenarioTest, FastSideStepDoesNotPassThroughAThinWall) {
    NewMesh(2, 2);
    WallX(2, 5);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 2, 1);
    MakeEllipsoid(1, 1, 0.5f, 0.5f, 0.5f);
    Place(1, 0, 0, 0);
    for (int i = 0; i < 10; ++i) {
        Frame(1, 4.0f, 0);
        ASSERT_LE(X(1), 4.5f + kSlack) << "frame " << i;
    }
}

// --- Slopes ---------------------------------------------------------------------------------

// Signed distance of object n's centre from the ramp plane through the origin.
float RampDistance(float x, float y, double angle) {
    return static_cast<float>(-std::sin(angle) * x + std::cos(angle) * y);
}

class WalkableRampTest : public MeshScenarioTest, public ::testing::WithParamInterface<int> {};

TEST_P(WalkableRampTest, BodyWalksUpARampGentlerThanItsMinimumSlope) {
    const int response = GetParam();
    const double angle = 20.0 * M_PI / 180.0; // normal y 0.94 > 0.3
    const float dx = 0.1f, g = 0.2f;
    NewMesh(2, 2);
    Ramp(2, angle);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, response, 1);
    MakeEllipsoid(1, 1);
    SetObjGravityVOR(1, g);
    Place(1, 0, static_cast<float>(1.0 / std::cos(angle)) + 0.5f, 0);
    for (int i = 0; i < 10; ++i) {
        Frame(1);
    }
    const float x0 = X(1), y0 = Y(1);
    // Standing without input: no sliding down.
    for (int i = 0; i < 20; ++i) {
        Frame(1);
    }
    EXPECT_NEAR(X(1), x0, 0.002f);
    EXPECT_NEAR(Y(1), y0, 0.002f);
    // Walking uphill, the body stays on the surface.
    for (int i = 0; i < 40; ++i) {
        Frame(1, dx, 0);
        ASSERT_GE(RampDistance(X(1), Y(1), angle), 1.0f - kSlack) << "frame " << i;
        ASSERT_LE(RampDistance(X(1), Y(1), angle), 1.0f + kSlack) << "frame " << i;
    }
    // Progress along the slope per frame: the input's share along it, less gravity's downhill
    // share with response 3 (response 4 drops the fall before sliding).
    const double c = std::cos(angle), s = std::sin(angle);
    const double along = response == 4 ? dx * c : dx * c - g * s;
    EXPECT_NEAR(X(1) - x0, 40 * along * c, 0.05 * 40 * along * c);
    EXPECT_NEAR(Y(1) - y0, 40 * along * s, 0.05 * 40 * along * s);
}

INSTANTIATE_TEST_SUITE_P(StandingResponses, WalkableRampTest, ::testing::Values(3, 4));

TEST_F(MeshScenarioTest, BodySlidesDownARampSteeperThanItsMinimumSlope) {
    const double angle = 80.0 * M_PI / 180.0; // normal y 0.17 < 0.3
    NewMesh(2, 2);
    Ramp(2, angle);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    MakeEllipsoid(1, 1);
    SetObjGravityVOR(1, 0.2f);
    // Resting against the slope, 1 unit out along its normal from the origin.
    Place(1, static_cast<float>(-std::sin(angle)), static_cast<float>(std::cos(angle)), 0);
    float lastY = Y(1);
    for (int i = 0; i < 30; ++i) {
        Frame(1);
        ASSERT_GE(RampDistance(X(1), Y(1), angle), 1.0f - kSlack) << "frame " << i;
        ASSERT_LE(Y(1), lastY) << "frame " << i;
        lastY = Y(1);
    }
    EXPECT_LT(Y(1), -3.0f);
    EXPECT_LT(X(1), static_cast<float>(-std::sin(angle)));
}

// --- Walls and corners ----------------------------------------------------------------------

TEST_F(MeshScenarioTest, BodySlidesAlongAWallHitAtAnAngle) {
    NewMesh(2, 2);
    WallX(2, 5);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 2, 1);
    MakeEllipsoid(1, 1);
    Place(1, 0, 0, 0);
    float lastZ = 0;
    for (int i = 0; i < 40; ++i) {
        Frame(1, 0.3f, 0.2f);
        ASSERT_LE(X(1), 4.0f + kSlack) << "frame " << i;
        ASSERT_GT(Z(1), lastZ) << "frame " << i; // the motion along the wall is kept
        lastZ = Z(1);
    }
    EXPECT_NEAR(X(1), 4.0f, kSlack);
    EXPECT_NEAR(Z(1), 8.0f, 0.01f); // 40 frames of 0.2 along the wall
}

class ConcaveCornerTest : public MeshScenarioTest, public ::testing::WithParamInterface<int> {};

TEST_P(ConcaveCornerTest, CornerOfTwoWallsHoldsTheBodyOutsideBoth) {
    SetConcaveModeVOR(GetParam());
    NewMesh(2, 2);
    WallX(2, 5);
    WallZ(2, 5);
    Floor(2, -1);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    MakeEllipsoid(1, 1);
    SetObjGravityVOR(1, 0.1f);
    Place(1, 0, 0, 1);
    for (int i = 0; i < 80; ++i) {
        Frame(1, 0.25f, 0.2f);
        ASSERT_TRUE(Finite(1)) << "frame " << i;
        ASSERT_LE(X(1), 4.0f + kSlack) << "frame " << i;
        ASSERT_LE(Z(1), 4.0f + kSlack) << "frame " << i;
        ASSERT_GE(Y(1), 0.0f - kSlack) << "frame " << i;
    }
    // Pushed into the corner, it ends up against both walls.
    EXPECT_GT(X(1), 3.9f);
    EXPECT_GT(Z(1), 3.9f);
}

INSTANTIATE_TEST_SUITE_P(EveryConcaveMode, ConcaveCornerTest, ::testing::Range(1, 8));

// --- Moving platforms -----------------------------------------------------------------------

class PlatformTest : public MeshScenarioTest, public ::testing::WithParamInterface<int> {
  protected:
    // A floor at y = 0 around the platform's position, a rider on it at (x, 1, z).
    void Build(int dynamic, float x, float z) {
        NewMesh(2, 2);
        Floor(2, 0, 20);
        Finish(2);
        SetCollisionsVOR(1, 2, 2, 3, dynamic);
        MakeEllipsoid(1, 1);
        SetObjGravityVOR(1, 0.1f);
        Place(1, x, 1, z);
        for (int i = 0; i < 3; ++i) {
            Frame(1); // stands on it: a contact of the pass before
        }
    }
};

TEST_P(PlatformTest, ElevatorLiftsItsRider) {
    Build(GetParam(), 2, 2);
    for (int i = 1; i <= 30; ++i) {
        MovePlatform(0, 0.1f * i, 0, 0);
        Frame(1);
        ASSERT_NEAR(Y(1), 0.1f * i + 1.0f, kSlack) << "frame " << i;
    }
}

TEST_P(PlatformTest, SlidingPlatformCarriesOnlyWhereTheEndIsCarried) {
    const int dynamic = GetParam();
    Build(dynamic, 2, 2);
    for (int i = 1; i <= 20; ++i) {
        MovePlatform(0.1f * i, 0, 0, 0);
        Frame(1);
    }
    if (dynamic >= 3) {
        EXPECT_NEAR(X(1), 4.0f, 0.01f);
    } else {
        EXPECT_NEAR(X(1), 2.0f, 0.01f);
    }
    EXPECT_NEAR(Y(1), 1.0f, kSlack);
    EXPECT_NEAR(Z(1), 2.0f, 0.01f);
}

TEST_P(PlatformTest, TurntableCarriesItsRiderAndTurnsItOnlyWithDynamicThree) {
    const int dynamic = GetParam();
    Build(dynamic, 3, 0);
    for (int i = 1; i <= 18; ++i) {
        MovePlatform(0, 0, 0, 5.0f * i);
        Frame(1);
    }
    // A quarter turn of yaw takes (3, 0) to (0, -3).
    if (dynamic >= 3) {
        EXPECT_NEAR(X(1), 0.0f, 0.01f);
        EXPECT_NEAR(Z(1), -3.0f, 0.01f);
    } else {
        EXPECT_NEAR(X(1), 3.0f, 0.01f);
        EXPECT_NEAR(Z(1), 0.0f, 0.01f);
    }
    EXPECT_NEAR(Y(1), 1.0f, kSlack);
    // Each frame adds the platform's 5 degrees to the angles the host passed back.
    EXPECT_NEAR(F(PeekObjYaw(1)), dynamic == 3 ? 90.0f : 0.0f, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(DynamicResponses, PlatformTest, ::testing::Range(1, 5));

// --- Many triangles -------------------------------------------------------------------------

TEST_F(MeshScenarioTest, TieAmongManyTrianglesGoesToTheFirstInListOrder) {
    NewMesh(2, 2);
    // A 10 x 10 grid of cells of size 2, listed twice: triangles 1..200 and 201..400.
    for (int copy = 0; copy < 2; ++copy) {
        for (int i = 0; i < 10; ++i) {
            for (int k = 0; k < 10; ++k) {
                AddParallelogram(2, V{-10.0f + 2 * i, 0, -10.0f + 2 * k}, V{0, 0, 2}, V{2, 0, 0});
            }
        }
    }
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 1, 1);
    MakeEllipsoid(1, 1);
    // Cell (i, k) = (3, 4) spans x -4..-2, z -2..0; its triangles are 2 * (10 i + k) + 1 and + 2.
    const int first = 2 * (10 * 3 + 4) + 1;
    struct Drop {
        float x, z;
        int poly;
    } drops[] = {
        {-3.5f, -0.5f, first},     // inside the first triangle of the cell
        {-2.5f, -1.5f, first + 1}, // inside the second
        {-3.0f, -1.0f, first},     // on the shared diagonal: both touch at the same time
    };
    for (const Drop &d : drops) {
        Place(1, d.x, 3, d.z);
        MoveTo(1, d.x, -3, d.z);
        RunCollisionVOR();
        ASSERT_EQ(CountCollisionsVOR(1), 1);
        EXPECT_EQ(CollisionHitPoly(1, 1), d.poly) << d.x << "," << d.z;
        EXPECT_EQ(Y(1), 1.0f);
    }
}

// --- Limits of the design -------------------------------------------------------------------

TEST_F(MeshScenarioTest, MovingMeshIsNotSweptAgainstABodyThatDoesNotRideIt) {
    NewMesh(2, 2);
    WallX(2, 3, 5);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    MakeEllipsoid(1, 1);
    Place(1, 0, 0, 0);
    // The wall jumps 3 units per frame towards -x, right over the body.
    for (int i = 1; i <= 3; ++i) {
        MovePlatform(-3.0f * i);
        Frame(1);
        EXPECT_EQ(X(1), 0.0f) << "frame " << i;
        EXPECT_EQ(CountCollisionsVOR(1), 0) << "frame " << i;
    }
}

TEST_F(MeshScenarioTest, DynamicResponseAboveOneCarriesTheStartOfEveryBodyItMeets) {
    NewMesh(2, 2);
    WallX(2, 3, 5);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 3, 2);
    MakeEllipsoid(1, 1);
    Place(1, 0, 0, 0);
    // The same wall: the start of the body is carried with it, so the wall's motion is swept
    // relative to the body and the wall shoves it along, one radius in front of it.
    for (int i = 1; i <= 3; ++i) {
        MovePlatform(-3.0f * i);
        Frame(1);
        EXPECT_NEAR(X(1), 3.0f - 3.0f * i - 1.0f, kSlack) << "frame " << i;
        EXPECT_EQ(CountCollisionsVOR(1), 1) << "frame " << i;
    }
}

TEST_F(MeshScenarioTest, FaceMovedOntoABodyPushesItOutToTheFront) {
    NewMesh(2, 2);
    WallX(2, 3, 5);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    MakeEllipsoid(1, 1);
    Place(1, 0, 0, 0);
    // Closing in by less than the radius per frame, the face overlaps the standing body and the
    // push-out of an overlapping face moves it: the wall ends up shoving it along.
    for (int i = 1; i <= 6; ++i) {
        MovePlatform(-0.5f * i);
        Frame(1);
    }
    EXPECT_NEAR(X(1), 3.0f - 3.0f - 1.0f, kSlack);
}

TEST_F(MeshScenarioTest, BoundsCubeIgnoresTheMeshRotation) {
    NewMesh(2, 2);
    // Reaches x = 10 unrotated; after 45 degrees of yaw the corner (10, 0, 10) lies at x = 14.1.
    AddMeshTri(2, -10, 0, -10, 10, 0, 10, 10, 0, -10);
    ActivateObjVOR(2);
    SetObjPosVOR(0, 0, 0);
    SetObjRotVOR(0, 45, 0);
    UpdateObjVOR(2, 1);
    SetCollisionsVOR(1, 2, 2, 1, 1);
    MakeEllipsoid(1, 1);
    // Inside the rotated triangle at x = 10.5: found.
    Place(1, 10.5f, 3, -0.5f);
    MoveTo(1, 10.5f, -3, -0.5f);
    RunCollisionVOR();
    EXPECT_EQ(CountCollisionsVOR(1), 1);
    EXPECT_EQ(RayIntersectObjectVOR(2, 2, 10.5f, 3, -0.5f, 10.5f, -3, -0.5f), 1);
    // Also inside it at x = 13, but beyond the unrotated cube (13 - 1 > 10): missed.
    Place(1, 13, 3, -0.5f);
    MoveTo(1, 13, -3, -0.5f);
    RunCollisionVOR();
    EXPECT_EQ(CountCollisionsVOR(1), 0);
    EXPECT_EQ(Y(1), -3.0f);
    EXPECT_EQ(RayIntersectObjectVOR(2, 2, 13, 3, -0.5f, 13, -3, -0.5f), 0);
}

TEST_F(MeshScenarioTest, TrianglesAreHitFromTheFrontOnly) {
    NewMesh(2, 2);
    Floor(2, 0);
    Finish(2);
    SetCollisionsVOR(1, 2, 2, 3, 1);
    MakeEllipsoid(1, 1);
    SetObjGravityVOR(1, -0.5f); // rising from below
    Place(1, 0, -5, 0);
    for (int i = 0; i < 20; ++i) {
        Frame(1);
    }
    EXPECT_EQ(Y(1), 5.0f); // passed through the back of the floor
    SetObjGravityVOR(1, 0.5f);
    for (int i = 0; i < 20; ++i) {
        Frame(1);
    }
    EXPECT_NEAR(Y(1), 1.0f, kSlack); // and lands on its front
}

// --- Bad input ------------------------------------------------------------------------------

TEST_F(MeshScenarioTest, DegenerateAndEmptyMeshesNeitherCrashNorTouch) {
    NewMesh(2, 2); // no triangles at all
    Finish(2);
    NewMesh(3, 2);
    AddMeshTri(3, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    AddMeshTri(3, -5, 0, 0, 0, 0, 0, 5, 0, 0);
    AddMeshTri(3, 1, 0, 1, 1, 0, 1, 2, 0, 2);
    Finish(3);
    SetCollisionsVOR(1, 2, 2, 3, 3);
    MakeEllipsoid(1, 1);
    SetObjGravityVOR(1, 0.5f);
    Place(1, 0, 2, 0);
    for (int i = 0; i < 10; ++i) {
        Frame(1);
        ASSERT_EQ(CountCollisionsVOR(1), 0);
    }
    EXPECT_EQ(Y(1), -3.0f);
}

TEST_F(MeshScenarioTest, NaNPositionsNeitherCrashNorHang) {
    NewMesh(2, 2);
    Floor(2, 0);
    Finish(2);
    NewMesh(3, 2);
    AddMeshTri(3, std::nanf(""), 0, 0, 1, 0, 0, 0, 0, 1);
    Finish(3);
    SetCollisionsVOR(1, 2, 2, 3, 3);
    MakeEllipsoid(1, 1);
    Place(1, 0, 2, 0);
    MoveTo(1, std::nanf(""), 0, 0);
    RunCollisionVOR();
    MoveTo(1, 0, INFINITY, 0);
    RunCollisionVOR();
    Place(1, 0, 2, 0);
    MoveTo(1, 0, 0, 0);
    RunCollisionVOR();
    EXPECT_EQ(CountCollisionsVOR(1), 1);
    EXPECT_EQ(Y(1), 1.0f);
}

} // namespace
