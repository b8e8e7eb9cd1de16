// Ray queries through the exports: one table of standard ray placements against a unit ellipsoid
// and against a floor triangle, then the rules around them (first shape only, activation order on
// ties, the result kept after a rejected object number, accessors at 0 without a hit).
#include <cmath>

#include "support/test_support.h"

namespace {

struct RayCase {
    const char *sketch;
    float s[3], e[3];
    bool hit;
    float pos[3], norm[3], dist;
};

struct RayAnswer {
    int32_t result;
    float pos[3], norm[3], dist;
    int32_t obj, type;
};

RayAnswer ReadRay(int32_t result) {
    RayAnswer a;
    a.result = result;
    a.pos[0] = F(RayHitPosX());
    a.pos[1] = F(RayHitPosY());
    a.pos[2] = F(RayHitPosZ());
    a.norm[0] = F(RayHitNormX());
    a.norm[1] = F(RayHitNormY());
    a.norm[2] = F(RayHitNormZ());
    a.dist = F(RayHitDist());
    a.obj = RayHitObjVOR();
    a.type = RayHitTypeVOR();
    return a;
}

void ExpectNoHit(const RayAnswer &a) {
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(RayHitPosX(), 0);
    EXPECT_EQ(RayHitPosY(), 0);
    EXPECT_EQ(RayHitPosZ(), 0);
    EXPECT_EQ(RayHitNormX(), 0);
    EXPECT_EQ(RayHitNormY(), 0);
    EXPECT_EQ(RayHitNormZ(), 0);
    EXPECT_EQ(RayHitDist(), 0);
    EXPECT_EQ(a.obj, 0);
    EXPECT_EQ(a.type, 0);
}

void ExpectCase(const RayCase &c, const RayAnswer &a, int32_t obj, int32_t type) {
    SCOPED_TRACE(c.sketch);
    if (!c.hit) {
        ExpectNoHit(a);
        return;
    }
    EXPECT_EQ(a.result, 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(a.pos[i], c.pos[i]);
        EXPECT_EQ(a.norm[i], c.norm[i]);
    }
    EXPECT_EQ(a.dist, c.dist);
    EXPECT_EQ(a.obj, obj);
    EXPECT_EQ(a.type, type);
}

// Unit ellipsoid at the origin; rays mostly along +z.
const RayCase kEllipsoidCases[] = {
    {"before:    s---e   ( )", {0, 0, -10}, {0, 0, -2}, false, {}, {}, 0},
    {"touching:  s------e( )  (ends on the surface: not nearer than its length)",
     {0, 0, -10},
     {0, 0, -1},
     false,
     {},
     {},
     0},
    {"inside:    s--------(-e)", {0, 0, -10}, {0, 0, 0}, true, {0, 0, -1}, {0, 0, -1}, 9},
    {"through:   s--------(---)---e", {0, 0, -10}, {0, 0, 10}, true, {0, 0, -1}, {0, 0, -1}, 9},
    {"from inside: (s-)----e  (negative distance)",
     {0, 0, 0.5f},
     {0, 0, 10},
     true,
     {0, 0, -1},
     {0, 0, -1},
     -1.5f},
    {"leaving:   ( s----e  (start on the far surface: the entry behind it is recorded)",
     {0, 0, 1},
     {0, 0, 10},
     true,
     {0, 0, -1},
     {0, 0, -1},
     -2},
    {"behind:    ( )  s----e  (beyond the cube margin: nothing)",
     {0, 0, 2},
     {0, 0, 10},
     false,
     {},
     {},
     0},
    {"grazing:   s---|---e  (closest approach exactly 1)",
     {1, 0, -10},
     {1, 0, 10},
     true,
     {1, 0, 0},
     {1, 0, 0},
     10},
    {"past:      s---- ( ) ----e beside it", {2, 0, -10}, {2, 0, 10}, false, {}, {}, 0},
    {"zero length outside", {0, 0, -5}, {0, 0, -5}, false, {}, {}, 0},
    {"zero length inside", {0, 0, 0}, {0, 0, 0}, false, {}, {}, 0},
    {"zero length on the surface", {0, 0, -1}, {0, 0, -1}, false, {}, {}, 0},
};

// Floor triangle (-10,0,-10) (0,0,10) (10,0,-10) with normal (0, 1, 0); rays mostly along -y.
const RayCase kTriangleCases[] = {
    {"before:    s---e   ___", {0, 5, 0}, {0, 1, 0}, false, {}, {}, 0},
    {"touching:  s------e___  (ends on the plane)", {0, 5, 0}, {0, 0, 0}, false, {}, {}, 0},
    {"through:   s-------|---e", {0, 5, 0}, {0, -5, 0}, true, {0, 0, 0}, {0, 1, 0}, 5},
    {"from behind: back face", {0, -5, 0}, {0, 5, 0}, false, {}, {}, 0},
    {"from the plane", {0, 0, 0}, {0, -5, 0}, false, {}, {}, 0},
    {"past:      beside the triangle", {20, 5, 0}, {20, -5, 0}, false, {}, {}, 0},
    {"past:      inside the box, outside the triangle", {9, 5, 9}, {9, -5, 9}, false, {}, {}, 0},
    {"along the plane above it", {-5, 1, 0}, {5, 1, 0}, false, {}, {}, 0},
    {"zero length", {0, 1, 0}, {0, 1, 0}, false, {}, {}, 0},
    {"on the edge", {0, 5, -10}, {0, -5, -10}, true, {0, 0, -10}, {0, 1, 0}, 5},
};

class RayTest : public HostTest {
  protected:
    void MakeBall(uint32_t n, uint32_t type, float x, float y, float z, float r = 1) {
        MakeEllipsoid(n, type, r, r, r);
        Place(n, x, y, z);
    }
    void MakeFloor(uint32_t n, uint32_t type) {
        NewCollObjVOR(n, type);
        AddObjShapeVOR(n, 2);
        AddMeshTri(n, -10, 0, -10, 0, 0, 10, 10, 0, -10);
        ActivateObjVOR(n);
        Place(n, 0, 0, 0);
    }
    RayAnswer Object(uint32_t n, int32_t kind, const float s[3], const float e[3]) {
        return ReadRay(RayIntersectObjectVOR(n, kind, s[0], s[1], s[2], e[0], e[1], e[2]));
    }
    RayAnswer Type(int32_t type, int32_t kind, const float s[3], const float e[3]) {
        return ReadRay(RayIntersectTypeVOR(type, kind, s[0], s[1], s[2], e[0], e[1], e[2]));
    }
};

TEST_F(RayTest, StandardPlacementsAgainstAnEllipsoid) {
    MakeBall(7, 3, 0, 0, 0);
    for (const RayCase &c : kEllipsoidCases) {
        ExpectCase(c, Object(7, 1, c.s, c.e), 7, 3);
        ExpectCase(c, Type(3, 1, c.s, c.e), 7, 3);
    }
}

TEST_F(RayTest, StandardPlacementsAgainstATriangle) {
    MakeFloor(9, 4);
    for (const RayCase &c : kTriangleCases) {
        ExpectCase(c, Object(9, 2, c.s, c.e), 9, 4);
        ExpectCase(c, Type(4, 2, c.s, c.e), 9, 4);
    }
}

TEST_F(RayTest, ObliqueRayHitsTheTriangleAtItsTravelledDistance) {
    MakeFloor(9, 4);
    const RayAnswer a = ReadRay(RayIntersectObjectVOR(9, 2, -5, 5, 0, 5, -5, 0));
    EXPECT_EQ(a.result, 1);
    // 5 * sqrt(2) along the ray; the float path rounds in the last digits.
    EXPECT_NEAR(a.dist, 7.0710678, 1e-5);
    EXPECT_NEAR(a.pos[0], 0, 1e-5);
    EXPECT_NEAR(a.pos[1], 0, 1e-5);
    EXPECT_EQ(a.norm[1], 1.0f);
}

TEST_F(RayTest, EllipsoidRadiiStretchTheHit) {
    MakeEllipsoid(1, 0, 2, 1, 1);
    Place(1, 0, 0, 0);
    const RayAnswer a = ReadRay(RayIntersectObjectVOR(1, 1, -10, 0, 0, 10, 0, 0));
    EXPECT_EQ(a.result, 1);
    EXPECT_EQ(a.pos[0], -2.0f);
    EXPECT_EQ(a.dist, 8.0f);
    EXPECT_EQ(a.norm[0], -1.0f);
}

// A long ray past an ellipsoid: hit only where the line comes within its radius. The rounded
// line-distance test alone passed a centre 2 radii off a ray 700 radii long when the direction in
// the ellipsoid's space was left a few millionths off unit length (radii just below 1, or radii on
// both sides of 1 for some directions), and on such rays missed centres within the radius; the
// object ray and the ray by type agree.
TEST_F(RayTest, ALongRayPastAnEllipsoidHitsOnlyWithinItsRadius) {
    const float radii[3][3] = {
        {0.999996f, 0.999996f, 0.999996f}, {1.000004f, 0.5f, 0.999996f}, {0.25f, 0.45f, 0.25f}};
    const float offsets[] = {0.5f, 0.999f, 1.001f, 1.2f, 2.0f, 2.5f};
    const float s[3] = {0, 0, 0}, e[3] = {1000, 0, 1000};
    const float h = 0.70710678f; // the ray's direction and its normal in the x-z plane
    for (const float *r : radii) {
        // Off the line by a multiple of the radius across it (r[0] and r[2] lie along x and z).
        const float across = std::sqrt(0.5f * (r[0] * r[0] + r[2] * r[2]));
        for (float offset : offsets) {
            StopCollisionVOR();
            MakeEllipsoid(1, 4, r[0], r[1], r[2]);
            const float off = offset * across;
            Place(1, 700 * h + off * h, 0, 700 * h - off * h);
            const RayAnswer byObject = Object(1, 1, s, e);
            const RayAnswer byType = Type(4, 1, s, e);
            EXPECT_EQ(byObject.result, offset < 1 ? 1 : 0)
                << "radii " << r[0] << " offset " << offset;
            EXPECT_EQ(byType.result, byObject.result);
            EXPECT_EQ(byType.dist, byObject.dist);
        }
    }
}

TEST_F(RayTest, EllipsoidIsCentredOnTheResolvedPositionWithoutItsOffset) {
    MakeBall(1, 0, 5, 0, 0);
    SetEllipOffsetVOR(1, 0, 5, 0);
    const RayAnswer a = ReadRay(RayIntersectObjectVOR(1, 1, 5, 0, -10, 5, 0, 10));
    EXPECT_EQ(a.result, 1);
    EXPECT_EQ(a.pos[0], 5.0f);
    EXPECT_EQ(a.pos[2], -1.0f);
}

TEST_F(RayTest, RayReadsWhereTheLastPassLeftTheBody) {
    MakeBall(1, 0, 0, 0, 0);
    RunCollisionVOR();
    MoveTo(1, 0, 50, 0); // requested, not yet resolved
    EXPECT_EQ(RayIntersectObjectVOR(1, 1, 0, 0, -10, 0, 0, 10), 1);
    RunCollisionVOR();
    EXPECT_EQ(RayIntersectObjectVOR(1, 1, 0, 0, -10, 0, 0, 10), 0);
    EXPECT_EQ(RayIntersectObjectVOR(1, 1, 0, 50, -10, 0, 50, 10), 1);
}

TEST_F(RayTest, OnlyTheFirstShapeOfTheKindIsTested) {
    MakeBall(1, 0, 0, 0, 0, 0.5f); // first ellipsoid: radius 0.5
    AddObjShapeVOR(1, 1);          // second ellipsoid: the default radius 1, which reaches further
    const RayAnswer a = ReadRay(RayIntersectObjectVOR(1, 1, 0, 0, -10, 0, 0, 10));
    EXPECT_EQ(a.result, 1);
    EXPECT_EQ(a.dist, 9.5f);
    EXPECT_EQ(a.pos[2], -0.5f);
}

TEST_F(RayTest, WrongKindOrMissingShapeHitsNothing) {
    MakeBall(1, 0, 0, 0, 0);
    const float s[3] = {0, 0, -10}, e[3] = {0, 0, 10};
    ExpectNoHit(Object(1, 2, s, e));
    ExpectNoHit(Object(1, 3, s, e));
    ExpectNoHit(Object(1, 0, s, e));
    ExpectNoHit(Object(1, -1, s, e));
    EXPECT_TRUE(log.texts.empty());
}

TEST_F(RayTest, TieBetweenTwoObjectsGoesToTheFirstActivated) {
    NewCollObjVOR(5, 2);
    AddObjShapeVOR(5, 1);
    NewCollObjVOR(3, 2);
    AddObjShapeVOR(3, 1);
    ActivateObjVOR(5);
    ActivateObjVOR(3);
    Place(5, 0, 0, 0);
    Place(3, 0, 0, 0);
    EXPECT_EQ(RayIntersectTypeVOR(2, 1, 0, 0, -10, 0, 0, 10), 1);
    EXPECT_EQ(RayHitObjVOR(), 5);
    EXPECT_EQ(RayHitTypeVOR(), 2);
}

TEST_F(RayTest, TypeQueryTakesTheNearestAcrossObjectsAndSkipsOthers) {
    MakeBall(1, 2, 0, 0, 5);
    MakeBall(2, 2, 0, 0, -5);
    MakeBall(3, 6, 0, 0, -8); // other type, nearer
    NewCollObjVOR(4, 2);      // inactive, nearest of all
    AddObjShapeVOR(4, 1);
    Place(4, 0, 0, -9);
    EXPECT_EQ(RayIntersectTypeVOR(2, 1, 0, 0, -20, 0, 0, 20), 1);
    EXPECT_EQ(RayHitObjVOR(), 2);
    EXPECT_EQ(F(RayHitDist()), 14.0f);
    EXPECT_EQ(F(RayHitPosZ()), -6.0f);
    // An inactive object is still tested when named.
    EXPECT_EQ(RayIntersectObjectVOR(4, 1, 0, 0, -20, 0, 0, 20), 1);
    EXPECT_EQ(RayHitObjVOR(), 4);
    EXPECT_EQ(RayIntersectTypeVOR(55, 1, 0, 0, -20, 0, 0, 20), 0);
    EXPECT_EQ(RayIntersectTypeVOR(-1, 1, 0, 0, -20, 0, 0, 20), 0);
    EXPECT_EQ(RayIntersectTypeVOR(1000, 1, 0, 0, -20, 0, 0, 20), 0);
}

TEST_F(RayTest, NearerTriangleWinsWhateverItsPlaceInTheList) {
    NewCollObjVOR(1, 0);
    AddObjShapeVOR(1, 2);
    AddMeshTri(1, -10, 0, -10, 0, 0, 10, 10, 0, -10);
    AddMeshTri(1, -10, 2, -10, 0, 2, 10, 10, 2, -10);
    Place(1, 0, 0, 0);
    EXPECT_EQ(RayIntersectObjectVOR(1, 2, 0, 5, 0, 0, -5, 0), 1);
    EXPECT_EQ(F(RayHitPosY()), 2.0f);
    EXPECT_EQ(F(RayHitDist()), 3.0f);
}

TEST_F(RayTest, MeshFollowsItsBodyTransform) {
    NewCollObjVOR(1, 0);
    AddObjShapeVOR(1, 2);
    AddMeshTri(1, -10, 0, -10, 0, 0, 10, 10, 0, -10);
    SetObjPosVOR(0, -1, 0);
    SetObjRotVOR(0, 0, 180); // roll half a turn: the front now faces down
    UpdateObjVOR(1, 1);
    EXPECT_EQ(RayIntersectObjectVOR(1, 2, 0, 5, 0, 0, -5, 0), 0);
    const RayAnswer a = ReadRay(RayIntersectObjectVOR(1, 2, 0, -5, 0, 0, 5, 0));
    EXPECT_EQ(a.result, 1);
    // The rotation of 180 degrees in float leaves a residue of about 1e-7 in the normal.
    EXPECT_NEAR(a.norm[1], -1.0f, 1e-6);
    EXPECT_NEAR(a.pos[1], -1.0f, 1e-6);
    EXPECT_NEAR(a.dist, 4.0f, 1e-5);
}

TEST_F(RayTest, RejectedObjectNumberKeepsThePreviousResult) {
    MakeBall(7, 3, 0, 0, 0);
    ASSERT_EQ(RayIntersectObjectVOR(7, 1, 0, 0, -10, 0, 0, 10), 1);
    Arm();
    EXPECT_EQ(RayIntersectObjectVOR(0, 1, 5, 5, 5, 6, 6, 6), 0);
    EXPECT_EQ(RayIntersectObjectVOR(5001, 1, 5, 5, 5, 6, 6, 6), 0);
    EXPECT_EQ(RayIntersectObjectVOR(8, 1, 5, 5, 5, 6, 6, 6), 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 0");
    EXPECT_EQ(F(RayHitDist()), 9.0f);
    EXPECT_EQ(F(RayHitPosZ()), -1.0f);
    EXPECT_EQ(RayHitObjVOR(), 7);
    EXPECT_EQ(RayHitTypeVOR(), 3);
}

TEST_F(RayTest, MissAfterAHitClearsEveryAccessor) {
    MakeBall(7, 3, 0, 0, 0);
    ASSERT_EQ(RayIntersectObjectVOR(7, 1, 0, 0, -10, 0, 0, 10), 1);
    ExpectNoHit(ReadRay(RayIntersectObjectVOR(7, 1, 5, 0, -10, 5, 0, 10)));
    ASSERT_EQ(RayIntersectObjectVOR(7, 1, 0, 0, -10, 0, 0, 10), 1);
    ExpectNoHit(ReadRay(RayIntersectTypeVOR(3, 2, 0, 0, -10, 0, 0, 10)));
}

TEST_F(RayTest, AccessorsAnswerZeroBeforeAnyQueryAndAfterStop) {
    ExpectNoHit(ReadRay(0));
    MakeBall(7, 3, 0, 0, 0);
    ASSERT_EQ(RayIntersectObjectVOR(7, 1, 0, 0, -10, 0, 0, 10), 1);
    StopCollisionVOR();
    ExpectNoHit(ReadRay(0));
}

TEST_F(RayTest, HitTypeSurvivesTheHitObjectBeingFreed) {
    MakeBall(7, 3, 0, 0, 0);
    ASSERT_EQ(RayIntersectObjectVOR(7, 1, 0, 0, -10, 0, 0, 10), 1);
    FreeObjVOR(7);
    EXPECT_EQ(RayHitObjVOR(), 7);
    EXPECT_EQ(RayHitTypeVOR(), 3);
}

TEST_F(RayTest, QueriesChangeNoBody) {
    MakeBall(1, 0, 0, 0, 0);
    MoveTo(1, 0, 0, 3);
    RayIntersectObjectVOR(1, 1, 0, 0, -10, 0, 0, 10);
    RayIntersectTypeVOR(0, 1, 0, 0, -10, 0, 0, 10);
    EXPECT_EQ(CountCollisionsVOR(1), 0);
    RunCollisionVOR();
    EXPECT_EQ(Z(1), 3.0f);
}

TEST_F(RayTest, NaNAndInfiniteRaysHitNothing) {
    MakeBall(1, 0, 0, 0, 0);
    MakeFloor(2, 0);
    const float nan = std::nanf("");
    const float inf = INFINITY;
    for (int kind = 1; kind <= 2; ++kind) {
        EXPECT_EQ(RayIntersectTypeVOR(0, kind, nan, 0, -10, 0, 0, 10), 0);
        EXPECT_EQ(RayIntersectTypeVOR(0, kind, 0, 5, -10, 0, nan, 10), 0);
        EXPECT_EQ(RayIntersectTypeVOR(0, kind, 0, 5, -inf, 0, -5, inf), 0);
        EXPECT_EQ(RayHitDist(), 0);
    }
}

} // namespace
