// The collision response on hand-built contacts: stop, slide, stand on walkable ground, the
// dropped fall of response 4, the negligible-correction stop, every concave mode, the crease
// normal and the crease limit. Unless a case says otherwise: offset 0, minSlope 0.3, dynamic
// response 1, contact point Q at the origin and no earlier steps.
#include "pass/response.h"

#include "core/settings.h"
#include "support/pass_test_support.h"

using vor::ContactRecord;
using vor::MotionRecord;
using vor::Vec3;

namespace {

class ResponseTest : public PassInternalsTest {
  protected:
    void SetUp() override {
        PassInternalsTest::SetUp();
        body = NewBody(1);
    }
    // An earlier step of the pass whose nearest contact has this normal and point.
    MotionRecord *Earlier(Vec3 normal, Vec3 point, uint8_t edgeHit = 0, int16_t response = 2,
                          int16_t kind = 2) {
        MotionRecord *m = Step(body, {0, 0, 0}, {0, 0, 0});
        ContactRecord *c = Contact(Def(kind, response), 0.5f, point, normal);
        c->edgeHit = edgeHit;
        vor::Append(&c->link, &m->contacts);
        c->owner = m;
        m->nearest = c;
        return m;
    }
    // The latest step's contact: centre pc, point q, normal n, target point t.
    ContactRecord *Current(int16_t response, Vec3 pc, Vec3 q, Vec3 n, Vec3 t, int16_t dynamic = 1,
                           int16_t kind = 2) {
        MotionRecord *m = Step(body, {0, 0, 0}, {0, 0, 0});
        ContactRecord *c = vor::NewContact(kind);
        c->definition = Def(kind, response, dynamic);
        c->contactCentre = pc;
        c->contactPosition = pc;
        c->point = q;
        c->normal = n;
        c->targetPoint = t;
        vor::Append(&c->link, &m->contacts);
        c->owner = m;
        m->nearest = c;
        return c;
    }
    ContactRecord *Floor(int16_t response, Vec3 t) {
        return Current(response, {0, 1, 0}, {0, 0, 0}, {0, 1, 0}, t);
    }
    void ExpectStopped(const ContactRecord *c) {
        ExpectVec(c->outCentre, c->contactCentre.x, c->contactCentre.y, c->contactCentre.z);
        ExpectVec(c->outPosition, c->contactPosition.x, c->contactPosition.y, c->contactPosition.z);
        ExpectVec(c->correction, 0, 0, 0);
    }
    // Each outcome on a body of its own, so that no earlier contact enters its history.
    void NextBody() { body = NewBody(++lastNumber); }
    vor::CollisionBody *body = nullptr;
    uint32_t lastNumber = 1;
};

TEST_F(ResponseTest, ResponseOneStopsWhereTheBodyTouched) {
    ContactRecord *c = Floor(1, {1, -1, 0});
    EXPECT_FALSE(vor::ApplyResponse(c));
    ExpectStopped(c);
}

TEST_F(ResponseTest, ResponseTwoSlidesAlongTheFloor) {
    ContactRecord *c = Floor(2, {1, -1, 0});
    EXPECT_TRUE(vor::ApplyResponse(c));
    ExpectVec(c->outCentre, 1, 1, 0);
    ExpectVec(c->outPosition, 1, 1, 0);
    ExpectVec(c->correction, 1, 0, 0);
}

TEST_F(ResponseTest, TheOffsetSeparatesTheBodyPositionFromTheCentre) {
    ContactRecord *c = Floor(2, {1, -1, 0});
    c->offset = Vec3{0, 0.5f, 0};
    c->contactPosition = Vec3{0, 0.5f, 0};
    EXPECT_TRUE(vor::ApplyResponse(c));
    ExpectVec(c->outCentre, 1, 1, 0);
    ExpectVec(c->outPosition, 1, 0.5f, 0);
}

TEST_F(ResponseTest, ResponseThreeStandsWhenOnlyDownwardMotionIsLeft) {
    ContactRecord *straight = Floor(3, {0, -0.5f, 0});
    EXPECT_FALSE(vor::ApplyResponse(straight));
    ExpectStopped(straight);
    NextBody();
    ContactRecord *nearly = Floor(3, {0.001f, -0.5f, -0.001f});
    EXPECT_FALSE(vor::ApplyResponse(nearly));
    ExpectStopped(nearly);
}

TEST_F(ResponseTest, ResponseThreeSlidesWhenTheSidewaysMotionExceedsTheLimit) {
    ContactRecord *c = Floor(3, {0.003f, -0.5f, 0});
    EXPECT_TRUE(vor::ApplyResponse(c));
    ExpectVec(c->outCentre, 0.003f, 1, 0);
    ExpectVec(c->correction, 0.003f, 0, 0);
}

TEST_F(ResponseTest, ANegligibleCorrectionStops) {
    ContactRecord *c = Floor(2, {0.001f, -0.5f, 0});
    EXPECT_FALSE(vor::ApplyResponse(c));
    ExpectStopped(c);
}

// The slope of N = (0, 0.8, 0.6): 0.8 and 0.6 are not exact floats, so each outcome is compared
// with the same float operations written out here, and with the decimal result to 1e-6.
class SlopeTest : public ResponseTest {
  protected:
    ContactRecord *Slope(int16_t response) {
        return Current(response, {0, 0.8f, 0.6f}, {0, 0, 0}, {0, 0.8f, 0.6f}, {0, -1, 1});
    }
    // T + ((Q - T) . N) N - (Q - Pc), with Q = 0, float by float.
    Vec3 Slid(Vec3 t) {
        Vec3 n{0, 0.8f, 0.6f};
        float k = (0 - t.x) * n.x + (0 - t.y) * n.y + (0 - t.z) * n.z;
        return Vec3{t.x + k * n.x + n.x, t.y + k * n.y + n.y, t.z + k * n.z + n.z};
    }
};

TEST_F(SlopeTest, ResponseFourDropsTheFallBeforeSlidingOnWalkableGround) {
    ContactRecord *c = Slope(4);
    EXPECT_TRUE(vor::ApplyResponse(c));
    EXPECT_EQ(c->targetPoint.y, 0.0f);
    Vec3 expected = Slid({0, 0, 1});
    ExpectVec(c->outCentre, expected.x, expected.y, expected.z);
    EXPECT_NEAR(c->outCentre.y, 0.32, 1e-6);
    EXPECT_NEAR(c->outCentre.z, 1.24, 1e-6);
}

TEST_F(SlopeTest, ResponseTwoKeepsTheFall) {
    ContactRecord *c = Slope(2);
    EXPECT_TRUE(vor::ApplyResponse(c));
    EXPECT_EQ(c->targetPoint.y, -1.0f);
    Vec3 expected = Slid({0, -1, 1});
    ExpectVec(c->outCentre, expected.x, expected.y, expected.z);
    EXPECT_NEAR(c->outCentre.y, -0.04, 1e-6);
    EXPECT_NEAR(c->outCentre.z, 1.72, 1e-6);
}

TEST_F(SlopeTest, ASlopeSteeperThanTheMinimumMakesResponseFourSlideLikeTwo) {
    SetObjMinSlopeVOR(1, 0.9f);
    ContactRecord *c = Slope(4);
    EXPECT_TRUE(vor::ApplyResponse(c));
    EXPECT_EQ(c->targetPoint.y, -1.0f);
    Vec3 expected = Slid({0, -1, 1});
    ExpectVec(c->outCentre, expected.x, expected.y, expected.z);
}

TEST_F(SlopeTest, ResponseFourSweepsMinimumSlopeAcrossTheNormal) {
    // Walkable exactly when the normal's y (0.8 as a float) is strictly above minSlope.
    for (float slope : {0.79f, 0.8f, 0.81f}) {
        NextBody();
        SetObjMinSlopeVOR(lastNumber, slope);
        ContactRecord *c = Slope(4);
        vor::ApplyResponse(c);
        bool walkable = 0.8f > slope;
        EXPECT_EQ(c->targetPoint.y, walkable ? 0.0f : -1.0f) << "minSlope " << slope;
    }
}

TEST_F(ResponseTest, AHeadOnContactLeavesNoCorrectionAndStops) {
    ContactRecord *c = Current(2, {0, 0, 1}, {0, 0, 0}, {0, 0, 1}, {0, 0, -1});
    EXPECT_FALSE(vor::ApplyResponse(c));
    ExpectStopped(c);
}

TEST_F(ResponseTest, DynamicResponseThreeMeasuresTheCorrectionFromThePreviousPosition) {
    body->previousPosition = Vec3{0, 0, 3};
    ContactRecord *c = Current(2, {0, 0, 1}, {0, 0, 0}, {0, 0, 1}, {0, 0, -1}, 3);
    EXPECT_TRUE(vor::ApplyResponse(c));
    ExpectVec(c->outCentre, 0, 0, 1);
    ExpectVec(c->correction, 0, 0, -2);
}

TEST_F(ResponseTest, AReportOnlyContactHandedOverWritesNothing) {
    ContactRecord *c = Floor(5, {1, -1, 0});
    c->outCentre = Vec3{7, 7, 7};
    EXPECT_FALSE(vor::ApplyResponse(c));
    ExpectVec(c->outCentre, 7, 7, 7);
    ExpectVec(c->outPosition, 0, 0, 0);
}

TEST_F(ResponseTest, EllipOptimizeStopsAtTheSecondEllipsoidOfAPass) {
    Earlier({1, 0, 0}, {5, 5, 5}, 0, 5, 1); // a report-only ellipsoid contact counts too
    ContactRecord *c = Current(2, {0, 1, 0}, {0, 0, 0}, {0, 1, 0}, {1, -1, 0}, 1, 1);
    EXPECT_FALSE(vor::ApplyResponse(c));
    ExpectStopped(c);
}

TEST_F(ResponseTest, WithoutEllipOptimizeTheSecondEllipsoidIsAnsweredNormally) {
    SetEllipOptimizeVOR(0);
    Earlier({1, 0, 0}, {5, 5, 5}, 0, 5, 1);
    ContactRecord *c = Current(2, {0, 1, 0}, {0, 0, 0}, {0, 1, 0}, {1, -1, 0}, 1, 1);
    EXPECT_TRUE(vor::ApplyResponse(c));
    ExpectVec(c->outCentre, 1, 1, 0);
}

// Concave modes. The current contact has N = (-0.8, 0.6, 0) and the body stepped along +x, so
// S = (4.5, 6, 0): uphill along the surface. An earlier floor (0, 1, 0) faces N and S points
// away from it; an earlier wall (-1, 0, 0) faces N and S points into it.
class ConcaveTest : public ResponseTest {
  protected:
    void SetUp() override {
        ResponseTest::SetUp();
        body->newPosition = Vec3{1, 0, 0};
    }
    ContactRecord *Slope(uint8_t edgeHit = 0) {
        ContactRecord *c = Current(2, {-0.8f, 0.6f, 0}, {0, 0, 0}, {-0.8f, 0.6f, 0}, {1, 0, 1});
        c->edgeHit = edgeHit;
        return c;
    }
    // Mode m on the slope after one earlier contact: answers whether it creased.
    bool Creases(uint32_t mode, Vec3 earlierNormal, Vec3 earlierPoint, uint8_t edgeHit = 0,
                 uint8_t currentEdge = 0) {
        SetConcaveModeVOR(mode);
        Earlier(earlierNormal, earlierPoint, edgeHit);
        vor::ApplyResponse(Slope(currentEdge));
        return body->creaseCounter == 1;
    }
};

const Vec3 kFloor{0, 1, 0};
const Vec3 kWall{-1, 0, 0};

TEST_F(ConcaveTest, ModeOneNeverCreases) {
    EXPECT_FALSE(Creases(1, {0.8f, -0.6f, 0}, {0, -1, 0}));
}

TEST_F(ConcaveTest, WithoutAnEarlierContactNoModeCreases) {
    SetConcaveModeVOR(7);
    EXPECT_TRUE(vor::ApplyResponse(Slope()));
    EXPECT_EQ(body->creaseCounter, 0);
}

TEST_F(ConcaveTest, ReportOnlyStepsAreNotTheEarlierContact) {
    SetConcaveModeVOR(7);
    Earlier(kWall, {1, 0, 0}, 0, 5);
    vor::ApplyResponse(Slope());
    EXPECT_EQ(body->creaseCounter, 0);
}

TEST_F(ConcaveTest, ModeTwoCreasesOnlyWhenNoEarlierNormalFacesTheContact) {
    EXPECT_FALSE(Creases(2, kWall, {1, 0, 0}));
}

TEST_F(ConcaveTest, ModeTwoCreasesAtPerpendicularNormalsAndKeepsTheNormal) {
    SetConcaveModeVOR(2);
    Earlier({0, 0, 1}, {0, 0, -1});
    ContactRecord *c = Current(2, {-1, 0, 0}, {0, 0, 0}, {-1, 0, 0}, {-1, 0, 1});
    EXPECT_TRUE(vor::ApplyResponse(c));
    EXPECT_EQ(body->creaseCounter, 1);
    ExpectVec(c->outCentre, -1, 0, 1); // slid on N itself: the z motion stays
}

TEST_F(ConcaveTest, ModeThreeCreasesAgainstAFaceTheBodyHeadsInto) {
    EXPECT_TRUE(Creases(3, kWall, {1, 0, 0}));
}

TEST_F(ConcaveTest, ModeThreeSlidesAwayFromAFace) {
    EXPECT_FALSE(Creases(3, kFloor, {0, -1, 0}));
}

TEST_F(ConcaveTest, ModeThreeSlidesOnAnEdgeContact) {
    EXPECT_FALSE(Creases(3, kWall, {1, 0, 0}, 0, 1));
}

TEST_F(ConcaveTest, ModeThreeIgnoresEarlierEdgeContacts) {
    EXPECT_FALSE(Creases(3, kWall, {1, 0, 0}, 1));
}

TEST_F(ConcaveTest, ModeThreeNegatesTheStepDirectionWhenTheStepLeavesTheSurface) {
    body->newPosition = Vec3{-1, 0, 0}; // g > 0: S becomes (-4.5, -6, 0), away from the wall
    EXPECT_FALSE(Creases(3, kWall, {1, 0, 0}));
}

TEST_F(ConcaveTest, ModeThreeCreasesOnAZeroStep) {
    body->newPosition = Vec3{0, 0, 0}; // S = 0, which points away from nothing
    EXPECT_TRUE(Creases(3, kFloor, {0, -1, 0}));
}

TEST_F(ConcaveTest, ModeFourOnAFaceContactActsLikeModeThree) {
    EXPECT_TRUE(Creases(4, kWall, {1, 0, 0}));
}

TEST_F(ConcaveTest, ModeFourOnAnEdgeCreasesOffTheFacePlaneWhenHeadingIntoIt) {
    EXPECT_TRUE(Creases(4, kWall, {1, 0, 0}, 0, 1));
}

TEST_F(ConcaveTest, ModeFourOnAnEdgeSkipsFacesWhosePlaneItLiesOn) {
    EXPECT_FALSE(Creases(4, kWall, {0.04f, 0, 0}, 0, 1));
}

TEST_F(ConcaveTest, ModeFourOnAnEdgeSlidesWhenHeadingAwayFromTheFace) {
    EXPECT_FALSE(Creases(4, kFloor, {0, -1, 0}, 0, 1));
}

TEST_F(ConcaveTest, ModeFourOnAnEdgeWithAZeroStepCreases) {
    body->newPosition = Vec3{0, 0, 0};
    EXPECT_TRUE(Creases(4, kFloor, {0, -1, 0}, 0, 1));
}

TEST_F(ConcaveTest, ModeFiveCreasesUnlessTheBodyHeadsAwayFromSomeEarlierSurface) {
    EXPECT_TRUE(Creases(5, kWall, {1, 0, 0}));
}

TEST_F(ConcaveTest, ModeFiveSlidesWhenHeadingAwayFromAnEarlierSurface) {
    EXPECT_FALSE(Creases(5, kFloor, {0, -1, 0}));
}

TEST_F(ConcaveTest, ModeSixCreasesWhenHeadingIntoAnEarlierSurface) {
    EXPECT_TRUE(Creases(6, kWall, {1, 0, 0}));
}

TEST_F(ConcaveTest, ModeSixSlidesOtherwise) {
    EXPECT_FALSE(Creases(6, kFloor, {0, -1, 0}));
}

TEST_F(ConcaveTest, ModeSevenAlwaysCreasesWithAnEarlierContact) {
    EXPECT_TRUE(Creases(7, kFloor, {0, -1, 0}));
}

TEST_F(ResponseTest, ModeSevenCreaseNormalOfAFloorAndASlope) {
    SetConcaveModeVOR(7);
    MotionRecord *floor = Earlier({0, 1, 0}, {0, 0, 0});
    // Centre one unit along N from the point (1, 0.5, 0); the target adds (1, 0, 1).
    ContactRecord *c = Current(2, {0.4f, 1.3f, 0}, {1, 0.5f, 0}, {-0.6f, 0.8f, 0}, {2, 0.5f, 1});
    Vec3 nn = vor::CreaseNormal(c, floor->nearest);
    ExpectVec(nn, 1, 0, 0);
    EXPECT_TRUE(vor::ApplyResponse(c));
    EXPECT_EQ(body->creaseCounter, 1);
    // Sliding on (1, 0, 0) keeps only the z part of the remaining motion.
    // 1 - (1 - 0.4) and 0.5 - (0.5 - 1.3) round away from 0.4 and 1.3 in floats.
    EXPECT_NEAR(c->outCentre.x, 0.4f, 1e-6);
    EXPECT_NEAR(c->outCentre.y, 1.3f, 1e-6);
    EXPECT_EQ(c->outCentre.z, 1.0f);
}

TEST_F(ResponseTest, TheSecondCreaseOfAPassStopsTheBody) {
    SetConcaveModeVOR(7);
    body->creaseCounter = 1;
    Earlier(kFloor, {0, -1, 0});
    ContactRecord *c = Current(2, {-0.8f, 0.6f, 0}, {0, 0, 0}, {-0.8f, 0.6f, 0}, {1, 0, 1});
    EXPECT_FALSE(vor::ApplyResponse(c));
    EXPECT_EQ(body->creaseCounter, 2);
    ExpectStopped(c);

    // Every later contact of the pass stops before any mode is consulted.
    ContactRecord *later = Floor(2, {1, -1, 0});
    EXPECT_FALSE(vor::ApplyResponse(later));
    EXPECT_EQ(body->creaseCounter, 2);
    ExpectStopped(later);
}

} // namespace
