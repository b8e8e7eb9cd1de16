// Collision definitions through SetCollisionsVOR and CheckShapeVOR: the order of the checks and
// their texts, the accepted bounds, duplicates, and which kinds a definition makes an object
// type use.
#include <cstdint>
#include <vector>

#include "core/definitions.h"
#include "body/registry.h"
#include "support/test_support.h"

namespace {

using vor::CollisionDefinition;

std::vector<CollisionDefinition *> Definitions() {
    std::vector<CollisionDefinition *> all;
    for (vor::ListLink *l = vor::DefinitionList.head; l != nullptr; l = l->next) {
        all.push_back(vor::MemberOf<CollisionDefinition>(l));
    }
    return all;
}

using DefinitionChecks = HostTest;

TEST_F(DefinitionChecks, SourceTypeAboveOneHundredIsRejected) {
    Arm();
    SetCollisionsVOR(101, 0, 1, 1, 1);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Invalid Collision Definition SOURCE TYPE: 101");
    EXPECT_TRUE(Definitions().empty());
}

TEST_F(DefinitionChecks, BothTypesBadReportsOnlyTheSource) {
    Arm();
    SetCollisionsVOR(101, 101, 1, 1, 1);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Invalid Collision Definition SOURCE TYPE: 101");
}

TEST_F(DefinitionChecks, DestinationTypeAboveOneHundredIsRejected) {
    Arm();
    SetCollisionsVOR(0, 101, 1, 1, 1);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Invalid Collision Definition DEST. TYPE: 101");
    EXPECT_TRUE(Definitions().empty());
}

TEST_F(DefinitionChecks, MethodOutsideOneToTwoIsRejected) {
    for (uint32_t method : {0u, 3u}) {
        Arm();
        SetCollisionsVOR(1, 2, method, 1, 1);
    }
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[0], "Invalid Collision Definition METHOD: 0");
    EXPECT_EQ(log.texts[1], "Invalid Collision Definition METHOD: 3");
    EXPECT_TRUE(Definitions().empty());
}

TEST_F(DefinitionChecks, ResponseOutsideOneToFiveIsRejected) {
    for (uint32_t response : {0u, 6u}) {
        Arm();
        SetCollisionsVOR(1, 2, 1, response, 1);
    }
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[0], "Invalid Collision Definition Response Method: 0");
    EXPECT_EQ(log.texts[1], "Invalid Collision Definition Response Method: 6");
    EXPECT_TRUE(Definitions().empty());
}

TEST_F(DefinitionChecks, DynamicResponseOutsideOneToFourIsRejected) {
    for (uint32_t dynamic : {0u, 5u}) {
        Arm();
        SetCollisionsVOR(1, 2, 2, 5, dynamic);
    }
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[0], "Invalid Collision Definition Dynamic Response Method: 0");
    EXPECT_EQ(log.texts[1], "Invalid Collision Definition Dynamic Response Method: 5");
    EXPECT_TRUE(Definitions().empty());
}

TEST_F(DefinitionChecks, NegativeArgumentsFailAsLargeUnsignedValues) {
    const uint32_t minusOne = 0xFFFFFFFFu;
    Arm();
    SetCollisionsVOR(minusOne, 0, 1, 1, 1);
    Arm();
    SetCollisionsVOR(0, minusOne, 1, 1, 1);
    Arm();
    SetCollisionsVOR(0, 0, minusOne, 1, 1);
    Arm();
    SetCollisionsVOR(0, 0, 1, minusOne, 1);
    Arm();
    SetCollisionsVOR(0, 0, 1, 1, minusOne);
    ASSERT_EQ(log.texts.size(), 5u);
    EXPECT_EQ(log.texts[0], "Invalid Collision Definition SOURCE TYPE: 4294967295");
    EXPECT_EQ(log.texts[1], "Invalid Collision Definition DEST. TYPE: 4294967295");
    EXPECT_EQ(log.texts[2], "Invalid Collision Definition METHOD: 4294967295");
    EXPECT_EQ(log.texts[3], "Invalid Collision Definition Response Method: 4294967295");
    EXPECT_EQ(log.texts[4], "Invalid Collision Definition Dynamic Response Method: 4294967295");
    EXPECT_TRUE(Definitions().empty());
}

TEST_F(DefinitionChecks, TheFirstFailedCheckIsTheOneReported) {
    Arm();
    SetCollisionsVOR(0, 0, 0, 0, 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Invalid Collision Definition METHOD: 0");
}

TEST_F(DefinitionChecks, BoundaryValuesAreAcceptedAndStored) {
    Arm();
    SetCollisionsVOR(0, 100, 1, 1, 1);
    SetCollisionsVOR(100, 0, 2, 5, 4);
    EXPECT_TRUE(log.texts.empty());
    std::vector<CollisionDefinition *> all = Definitions();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]->sourceKind, 1);
    EXPECT_EQ(all[0]->destinationKind, 1);
    EXPECT_EQ(all[0]->sourceType, 0);
    EXPECT_EQ(all[0]->destinationType, 100);
    EXPECT_EQ(all[0]->response, 1);
    EXPECT_EQ(all[0]->dynamicResponse, 1);
    EXPECT_EQ(all[1]->sourceKind, 1);
    EXPECT_EQ(all[1]->destinationKind, 2);
    EXPECT_EQ(all[1]->sourceType, 100);
    EXPECT_EQ(all[1]->destinationType, 0);
    EXPECT_EQ(all[1]->response, 5);
    EXPECT_EQ(all[1]->dynamicResponse, 4);
    EXPECT_TRUE(vor::IsEllipsoidDefinition(all[0]));
    EXPECT_TRUE(vor::IsMeshDefinition(all[1]));
}

TEST_F(DefinitionChecks, TheSameCallTwiceGivesTwoDefinitions) {
    SetCollisionsVOR(3, 3, 1, 2, 1);
    SetCollisionsVOR(3, 3, 1, 2, 1);
    std::vector<CollisionDefinition *> all = Definitions();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_NE(all[0], all[1]);
    EXPECT_EQ(all[1]->sourceType, 3);
    EXPECT_EQ(all[1]->destinationType, 3);
    vor::ValidateList(vor::DefinitionList);
}

TEST_F(DefinitionChecks, DefinitionsOutliveTheObjectsTheyName) {
    SetCollisionsVOR(3, 7, 2, 1, 1);
    NewCollObjVOR(1, 7);
    FreeObjVOR(1);
    NewCollObjVOR(1, 3);
    NewCollObjVOR(1, 7);
    EXPECT_EQ(Definitions().size(), 1u);
    EXPECT_EQ(CheckShapeVOR(1, 2), 1);
}

TEST_F(DefinitionChecks, StopFreesEveryDefinition) {
    SetCollisionsVOR(3, 7, 2, 1, 1);
    SetCollisionsVOR(7, 3, 1, 1, 1);
    StopCollisionVOR();
    EXPECT_EQ(vor::DefinitionList.head, nullptr);
    EXPECT_EQ(vor::DefinitionList.tail, nullptr);
}

using CheckShape = HostTest;

TEST_F(CheckShape, MeshDestinationMatchesKindTwoOnly) {
    NewCollObjVOR(1, 7);
    SetCollisionsVOR(3, 7, 2, 1, 1);
    EXPECT_EQ(CheckShapeVOR(1, 2), 1);
    EXPECT_EQ(CheckShapeVOR(1, 1), 0);
}

TEST_F(CheckShape, SourceTypeMatchesKindOneOnly) {
    NewCollObjVOR(1, 7);
    SetCollisionsVOR(7, 3, 2, 1, 1);
    EXPECT_EQ(CheckShapeVOR(1, 1), 1);
    EXPECT_EQ(CheckShapeVOR(1, 2), 0);
}

TEST_F(CheckShape, EllipsoidDestinationMatchesKindOne) {
    NewCollObjVOR(1, 7);
    SetCollisionsVOR(3, 7, 1, 1, 1);
    EXPECT_EQ(CheckShapeVOR(1, 1), 1);
    EXPECT_EQ(CheckShapeVOR(1, 2), 0);
}

TEST_F(CheckShape, ALaterDefinitionCanMatch) {
    NewCollObjVOR(1, 7);
    SetCollisionsVOR(3, 4, 2, 1, 1);
    SetCollisionsVOR(4, 3, 1, 1, 1);
    SetCollisionsVOR(5, 7, 2, 1, 1);
    EXPECT_EQ(CheckShapeVOR(1, 2), 1);
    EXPECT_EQ(CheckShapeVOR(1, 1), 0);
}

TEST_F(CheckShape, OtherKindsAndAnEmptyListAnswerZero) {
    NewCollObjVOR(1, 7);
    EXPECT_EQ(CheckShapeVOR(1, 1), 0);
    EXPECT_EQ(CheckShapeVOR(1, 2), 0);
    SetCollisionsVOR(7, 7, 2, 1, 1);
    EXPECT_EQ(CheckShapeVOR(1, 0), 0);
    EXPECT_EQ(CheckShapeVOR(1, 3), 0);
    EXPECT_EQ(CheckShapeVOR(1, -1), 0);
}

TEST_F(CheckShape, ShapesAndActivationDoNotMatter) {
    SetCollisionsVOR(7, 3, 1, 1, 1);
    NewCollObjVOR(1, 7);
    EXPECT_EQ(CheckShapeVOR(1, 1), 1);
    AddObjShapeVOR(1, 2);
    ActivateObjVOR(1);
    EXPECT_EQ(CheckShapeVOR(1, 1), 1);
    EXPECT_EQ(CheckShapeVOR(1, 2), 0);
}

TEST_F(CheckShape, AnUndefinedObjectAnswersZeroAfterReporting) {
    SetCollisionsVOR(0, 0, 1, 1, 1);
    Arm();
    EXPECT_EQ(CheckShapeVOR(4, 1), 0);
    Arm();
    EXPECT_EQ(CheckShapeVOR(0, 1), 0);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[0], "Object not defined in collision system: 4");
    EXPECT_EQ(log.texts[1], "Object number out of range for collision system: 0");
}

} // namespace
