// Shape parameters: radii and offsets go to every ellipsoid the body has at the time of the
// call and to nothing else; a non-positive or NaN radius rejects the whole call; gravity and
// minimum slope are kept across activation and reset by replacement.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "body/registry.h"
#include "core/records.h"
#include "support/test_support.h"

namespace {

using vor::EllipsoidShape;
using vor::ListLink;
using vor::ShapeHead;

ShapeHead *ShapeAt(uint32_t n, int index) {
    ListLink *l = vor::ObjectTable[n]->body->shapes.head;
    for (int i = 0; i < index && l != nullptr; i++) {
        l = l->next;
    }
    return vor::MemberOf<ShapeHead>(l);
}

EllipsoidShape *EllipsoidAt(uint32_t n, int index) {
    return vor::AsEllipsoid(ShapeAt(n, index));
}

using Radii = HostTest;

TEST_F(Radii, AZeroRadiusIsReportedWithTheObjectNumberAndChangesNothing) {
    NewCollObjVOR(12, 0);
    AddObjShapeVOR(12, 1);
    SetObjRadiusVOR(12, 2, 2, 2);
    Arm();
    SetObjRadiusVOR(12, 1, 0, 1);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Ellip radius values must be positive for object: 12");
    ExpectVec(EllipsoidAt(12, 0)->radii, 2, 2, 2);
}

TEST_F(Radii, NegativeAndNaNRadiiOnAnyAxisAreRejected) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    NewCollObjVOR(3, 0);
    AddObjShapeVOR(3, 1);
    const float bad[][3] = {{-1, 1, 1},  {1, -0.0f, 1}, {1, 1, -5}, {nan, 1, 1},
                            {1, nan, 1}, {1, 1, nan},   {0, 0, 0}};
    for (const auto &r : bad) {
        Arm();
        SetObjRadiusVOR(3, r[0], r[1], r[2]);
        ExpectVec(EllipsoidAt(3, 0)->radii, 1, 1, 1);
    }
    EXPECT_EQ(log.texts.size(), 7u);
}

TEST_F(Radii, EveryEllipsoidGetsTheRadiiAndMeshesAreSkipped) {
    NewCollObjVOR(4, 0);
    AddObjShapeVOR(4, 1);
    AddObjShapeVOR(4, 2);
    AddObjShapeVOR(4, 1);
    unsigned char meshBefore[sizeof(vor::MeshShape)];
    std::memcpy(meshBefore, vor::AsMesh(ShapeAt(4, 1)), sizeof meshBefore);
    SetObjRadiusVOR(4, 2, 3, 4);
    ExpectVec(EllipsoidAt(4, 0)->radii, 2, 3, 4);
    ExpectVec(EllipsoidAt(4, 2)->radii, 2, 3, 4);
    // The mesh record is byte for byte what it was.
    EXPECT_EQ(std::memcmp(&meshBefore, vor::AsMesh(ShapeAt(4, 1)), sizeof meshBefore), 0);
}

TEST_F(Radii, AnEllipsoidAddedLaterStartsFromTheDefaults) {
    NewCollObjVOR(4, 0);
    AddObjShapeVOR(4, 1);
    SetObjRadiusVOR(4, 2, 3, 4);
    AddObjShapeVOR(4, 1);
    ExpectVec(EllipsoidAt(4, 1)->radii, 1, 1, 1);
}

TEST_F(Radii, TinyAndHugePositiveRadiiAreAccepted) {
    NewCollObjVOR(4, 0);
    AddObjShapeVOR(4, 1);
    const float tiny = std::numeric_limits<float>::denorm_min();
    const float inf = std::numeric_limits<float>::infinity();
    Arm();
    SetObjRadiusVOR(4, tiny, 1e30f, inf);
    EXPECT_TRUE(log.texts.empty());
    ExpectVec(EllipsoidAt(4, 0)->radii, tiny, 1e30f, inf);
}

TEST_F(Radii, ABodyWithoutEllipsoidsIgnoresRadiiSilently) {
    NewCollObjVOR(4, 0);
    AddObjShapeVOR(4, 2);
    Arm();
    SetObjRadiusVOR(4, 2, 3, 4);
    EXPECT_TRUE(log.texts.empty());
}

TEST_F(Radii, ABadObjectNumberIsReportedBeforeTheRadii) {
    Arm();
    SetObjRadiusVOR(9, 0, 0, 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object not defined in collision system: 9");
}

using Offsets = HostTest;

TEST_F(Offsets, EveryEllipsoidGetsTheOffsetWhateverItsValue) {
    NewCollObjVOR(4, 0);
    AddObjShapeVOR(4, 1);
    AddObjShapeVOR(4, 2);
    AddObjShapeVOR(4, 1);
    Arm();
    SetEllipOffsetVOR(4, -1.5f, 0, 1e20f);
    EXPECT_TRUE(log.texts.empty());
    ExpectVec(EllipsoidAt(4, 0)->offset, -1.5f, 0, 1e20f);
    ExpectVec(EllipsoidAt(4, 2)->offset, -1.5f, 0, 1e20f);
}

TEST_F(Offsets, AnOffsetBeforeAnyShapeHasNoLastingEffect) {
    NewCollObjVOR(4, 0);
    SetEllipOffsetVOR(4, 1, 2, 3);
    AddObjShapeVOR(4, 1);
    ExpectVec(EllipsoidAt(4, 0)->offset, 0, 0, 0);
}

TEST_F(Offsets, ABadObjectNumberChangesNothing) {
    NewCollObjVOR(4, 0);
    AddObjShapeVOR(4, 1);
    Arm();
    SetEllipOffsetVOR(5001, 1, 2, 3);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 5001");
    ExpectVec(EllipsoidAt(4, 0)->offset, 0, 0, 0);
}

using GravityAndSlope = HostTest;

TEST_F(GravityAndSlope, AnyValueIsStored) {
    NewCollObjVOR(4, 0);
    Arm();
    SetObjGravityVOR(4, -2.5f);
    SetObjMinSlopeVOR(4, 1.5f);
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(vor::ObjectTable[4]->gravity, -2.5f);
    EXPECT_EQ(vor::ObjectTable[4]->body->minSlope, 1.5f);
    SetObjMinSlopeVOR(4, -0.25f);
    EXPECT_EQ(vor::ObjectTable[4]->body->minSlope, -0.25f);
}

TEST_F(GravityAndSlope, TheySurviveDeactivationAndActivation) {
    MakeEllipsoid(4, 0);
    SetObjGravityVOR(4, 0.5f);
    SetObjMinSlopeVOR(4, 0.7f);
    DeActivateObjVOR(4);
    ActivateObjVOR(4);
    EXPECT_EQ(vor::ObjectTable[4]->gravity, 0.5f);
    EXPECT_EQ(vor::ObjectTable[4]->body->minSlope, 0.7f);
}

TEST_F(GravityAndSlope, ReplacementRestoresTheDefaults) {
    NewCollObjVOR(4, 0);
    SetObjGravityVOR(4, 0.5f);
    SetObjMinSlopeVOR(4, 0.7f);
    NewCollObjVOR(4, 1);
    EXPECT_EQ(vor::ObjectTable[4]->gravity, 0.0f);
    EXPECT_EQ(vor::ObjectTable[4]->body->minSlope, 0.3f);
}

TEST_F(GravityAndSlope, BadObjectNumbersAreReportedOnce) {
    Arm();
    SetObjGravityVOR(0, 1);
    SetObjMinSlopeVOR(0xFFFFFFFFu, 1);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 0");
    Arm();
    SetObjMinSlopeVOR(0xFFFFFFFFu, 1);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[1], "Object number out of range for collision system: 4294967295");
}

} // namespace
