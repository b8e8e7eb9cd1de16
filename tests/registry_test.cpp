// The object registry through its exports: creation and replacement, construction defaults,
// shapes, activation order, the shape lists of every kind and type, the collision-stack cursor
// when entries go, and that rejected commands change nothing. ValidateRegistry runs after each
// command sequence.
#include <cstdint>
#include <vector>

#include "body/motion_records.h"
#include "body/registry.h"
#include "core/records.h"
#include "query/contact_queries.h"
#include "support/test_support.h"

namespace {

using vor::ActiveEntry;
using vor::CollisionBody;
using vor::CollisionObject;
using vor::ListLink;
using vor::ShapeEntry;
using vor::ShapeHead;

ShapeHead *ShapeAt(uint32_t n, int index) {
    ListLink *l = BodyOf(n)->shapes.head;
    for (int i = 0; i < index && l != nullptr; i++) {
        l = l->next;
    }
    return vor::MemberOf<ShapeHead>(l);
}

int Length(const vor::IntrusiveList &list) {
    int count = 0;
    for (ListLink *l = list.head; l != nullptr; l = l->next) {
        count++;
    }
    return count;
}

// Object numbers of ActiveList, in order.
std::vector<uint32_t> ActiveOrder() {
    std::vector<uint32_t> order;
    for (ListLink *l = vor::ActiveList.head; l != nullptr; l = l->next) {
        order.push_back(vor::MemberOf<ActiveEntry>(l)->object->objectNumber);
    }
    return order;
}

// Shapes of a (kind, type) list, in order.
std::vector<ShapeHead *> Listed(int kind, int type) {
    std::vector<ShapeHead *> shapes;
    for (ListLink *l = vor::ShapeListFor(kind, type)->head; l != nullptr; l = l->next) {
        shapes.push_back(vor::MemberOf<ShapeEntry>(l)->shape);
    }
    return shapes;
}

// Object numbers the collision stack answers after a reset, up to the first 0.
std::vector<int32_t> StackWalk() {
    std::vector<int32_t> walk;
    ResetCollisionStackVOR();
    for (int i = 0; i < 10; i++) {
        int32_t n = PeekCollisionStackVOR();
        if (n == 0) {
            break;
        }
        walk.push_back(n);
    }
    return walk;
}

bool IsIdentity(const vor::Matrix4 &m) {
    for (int i = 0; i < 16; i++) {
        if (m.m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) {
            return false;
        }
    }
    return true;
}

using ObjectCreation = HostTest;

TEST_F(ObjectCreation, NumbersZeroAndFiveThousandOneAreRejected) {
    Arm();
    NewCollObjVOR(0, 0);
    Arm();
    NewCollObjVOR(5001, 0);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 0");
    EXPECT_EQ(log.texts[1], "Object number out of range for collision system: 5001");
    EXPECT_EQ(vor::ObjectList.head, nullptr);
    EXPECT_EQ(vor::BodyList.head, nullptr);
}

TEST_F(ObjectCreation, NegativeNumberIsReportedAsItsUnsignedValue) {
    Arm();
    NewCollObjVOR(0xFFFFFFFFu, 0);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 4294967295");
    EXPECT_EQ(vor::ObjectList.head, nullptr);
}

TEST_F(ObjectCreation, TypeAboveOneHundredIsRejected) {
    Arm();
    NewCollObjVOR(3, 101);
    Arm();
    NewCollObjVOR(3, 0xFFFFFFFFu);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[0], "Invalid Collision TYPE ID: 101");
    EXPECT_EQ(log.texts[1], "Invalid Collision TYPE ID: 4294967295");
    EXPECT_EQ(vor::ObjectTable[3], nullptr);
    EXPECT_EQ(vor::ObjectList.head, nullptr);
}

TEST_F(ObjectCreation, TheNumberIsCheckedBeforeTheType) {
    Arm();
    NewCollObjVOR(0, 101);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 0");
}

TEST_F(ObjectCreation, BadTypeLeavesAnExistingObjectAsItWas) {
    MakeEllipsoid(8, 4, 2, 3, 4);
    CollisionObject *before = vor::ObjectTable[8];
    Arm();
    NewCollObjVOR(8, 101);
    EXPECT_EQ(log.texts.size(), 1u);
    ASSERT_EQ(vor::ObjectTable[8], before);
    EXPECT_EQ(BodyOf(8)->collisionType, 4);
    EXPECT_NE(vor::ActiveTable[8], nullptr);
    EXPECT_EQ(Listed(1, 4).size(), 1u);
    vor::ValidateRegistry();
}

TEST_F(ObjectCreation, BoundaryNumbersAndTypesAreAccepted) {
    Arm();
    NewCollObjVOR(1, 0);
    NewCollObjVOR(5000, 100);
    EXPECT_TRUE(log.texts.empty());
    ASSERT_NE(vor::ObjectTable[1], nullptr);
    ASSERT_NE(vor::ObjectTable[5000], nullptr);
    EXPECT_EQ(BodyOf(1)->collisionType, 0);
    EXPECT_EQ(BodyOf(5000)->collisionType, 100);
    EXPECT_EQ(BodyOf(5000)->objectNumber, 5000);
    vor::ValidateRegistry();
}

TEST_F(ObjectCreation, ANewObjectHasItsConstructionDefaults) {
    NewCollObjVOR(42, 17);
    CollisionObject *o = vor::ObjectTable[42];
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->objectNumber, 42u);
    EXPECT_EQ(o->gravity, 0.0f);
    EXPECT_EQ(o->scale.x, 1.0f);
    EXPECT_EQ(o->scale.y, 1.0f);
    EXPECT_EQ(o->scale.z, 1.0f);
    CollisionBody *b = o->body;
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->collisionType, 17);
    EXPECT_EQ(b->objectNumber, 42);
    EXPECT_EQ(b->creaseCounter, 0);
    EXPECT_EQ(b->activeBodyEntry, nullptr);
    EXPECT_EQ(Bits(b->previousPosition.x) | Bits(b->newPosition.y) | Bits(b->newRotation.z), 0u);
    EXPECT_EQ(b->previousScale.x, 1.0f);
    EXPECT_EQ(b->previousScale.z, 1.0f);
    EXPECT_EQ(b->newScale.y, 1.0f);
    EXPECT_EQ(b->minSlope, 0.3f);
    EXPECT_TRUE(IsIdentity(b->translationMatrix));
    EXPECT_TRUE(IsIdentity(b->rotationMatrix));
    EXPECT_TRUE(IsIdentity(b->scaleMatrix));
    EXPECT_TRUE(IsIdentity(b->worldMatrix));
    EXPECT_TRUE(IsIdentity(b->inversePrevious));
    EXPECT_EQ(b->shapes.head, nullptr);
    EXPECT_EQ(b->currentMotion.head, nullptr);
    EXPECT_EQ(b->previousMotion.head, nullptr);
    EXPECT_EQ(vor::ActiveTable[42], nullptr);
}

TEST_F(ObjectCreation, ObjectsAndBodiesKeepCreationOrder) {
    NewCollObjVOR(9, 0);
    NewCollObjVOR(2, 0);
    NewCollObjVOR(5, 0);
    EXPECT_EQ(vor::ListHead<CollisionObject>(vor::ObjectList), vor::ObjectTable[9]);
    EXPECT_EQ(vor::ListTail<CollisionObject>(vor::ObjectList), vor::ObjectTable[5]);
    EXPECT_EQ(vor::ListHead<CollisionBody>(vor::BodyList), BodyOf(9));
    EXPECT_EQ(vor::ListTail<CollisionBody>(vor::BodyList), BodyOf(5));
    EXPECT_EQ(Length(vor::BodyList), 3);
    vor::ValidateRegistry();
}

TEST_F(ObjectCreation, ReplacingAnObjectStartsFromNothing) {
    MakeEllipsoid(6, 2);
    AddObjShapeVOR(6, 2);
    SetObjGravityVOR(6, 9.5f);
    SetObjMinSlopeVOR(6, 0.7f);
    NewCollObjVOR(7, 2);
    NewCollObjVOR(6, 3);
    vor::ValidateRegistry();
    CollisionObject *o = vor::ObjectTable[6];
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->gravity, 0.0f);
    EXPECT_EQ(o->body->minSlope, 0.3f);
    EXPECT_EQ(o->body->collisionType, 3);
    EXPECT_EQ(o->body->shapes.head, nullptr);
    EXPECT_EQ(vor::ActiveTable[6], nullptr);
    EXPECT_EQ(vor::ActiveList.head, nullptr);
    EXPECT_EQ(vor::ActiveBodyList.head, nullptr);
    EXPECT_TRUE(Listed(1, 2).empty());
    EXPECT_TRUE(Listed(2, 2).empty());
    // The replacement is the newest object and body.
    EXPECT_EQ(vor::ListTail<CollisionObject>(vor::ObjectList), o);
    EXPECT_EQ(vor::ListTail<CollisionBody>(vor::BodyList), o->body);
    EXPECT_EQ(Length(vor::ObjectList), 2);
    EXPECT_EQ(Length(vor::BodyList), 2);
}

TEST_F(ObjectCreation, ReplacingAnActiveObjectDropsItFromTheCollisionStack) {
    MakeEllipsoid(3, 1);
    MakeEllipsoid(4, 1);
    NewCollObjVOR(3, 1);
    EXPECT_EQ(StackWalk(), std::vector<int32_t>({4}));
    EXPECT_EQ(ActiveOrder(), std::vector<uint32_t>({4}));
    vor::ValidateRegistry();
}

using ObjectRemoval = HostTest;

TEST_F(ObjectRemoval, FreeingAnUndefinedNumberIsReportedAndChangesNothing) {
    NewCollObjVOR(16, 0);
    Arm();
    FreeObjVOR(17);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Object not defined in collision system: 17");
    EXPECT_NE(vor::ObjectTable[16], nullptr);
    EXPECT_EQ(Length(vor::ObjectList), 1);
}

TEST_F(ObjectRemoval, FreeingAnActiveObjectRemovesEveryTraceOfIt) {
    MakeEllipsoid(10, 5);
    AddObjShapeVOR(10, 2);
    MakeEllipsoid(11, 5);
    FreeObjVOR(10);
    vor::ValidateRegistry();
    EXPECT_EQ(vor::ObjectTable[10], nullptr);
    EXPECT_EQ(vor::ActiveTable[10], nullptr);
    EXPECT_EQ(Length(vor::ObjectList), 1);
    EXPECT_EQ(Length(vor::BodyList), 1);
    EXPECT_EQ(Length(vor::ActiveBodyList), 1);
    EXPECT_EQ(ActiveOrder(), std::vector<uint32_t>({11}));
    EXPECT_EQ(Listed(1, 5), std::vector<ShapeHead *>({ShapeAt(11, 0)}));
    EXPECT_TRUE(Listed(2, 5).empty());
    Arm();
    FreeObjVOR(10);
    EXPECT_EQ(log.texts.size(), 1u);
}

TEST_F(ObjectRemoval, AFreedNumberCanBeCreatedAgain) {
    MakeEllipsoid(12, 1);
    FreeObjVOR(12);
    MakeEllipsoid(12, 9);
    vor::ValidateRegistry();
    EXPECT_EQ(BodyOf(12)->collisionType, 9);
    EXPECT_EQ(Listed(1, 9).size(), 1u);
    EXPECT_TRUE(Listed(1, 1).empty());
}

using Shapes = HostTest;

TEST_F(Shapes, UnknownKindsAreIgnoredSilently) {
    NewCollObjVOR(1, 0);
    Arm();
    AddObjShapeVOR(1, 0);
    AddObjShapeVOR(1, 3);
    AddObjShapeVOR(1, -1);
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(BodyOf(1)->shapes.head, nullptr);
}

TEST_F(Shapes, ANewShapeHasDefaultParameters) {
    NewCollObjVOR(1, 0);
    AddObjShapeVOR(1, 1);
    AddObjShapeVOR(1, 2);
    ShapeHead *e = ShapeAt(1, 0);
    ShapeHead *m = ShapeAt(1, 1);
    ASSERT_NE(e, nullptr);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(e->kind, 1);
    EXPECT_EQ(e->body, BodyOf(1));
    EXPECT_EQ(e->shapeEntry, nullptr);
    EXPECT_EQ(vor::AsEllipsoid(e)->radii.x, 1.0f);
    EXPECT_EQ(vor::AsEllipsoid(e)->radii.y, 1.0f);
    EXPECT_EQ(vor::AsEllipsoid(e)->radii.z, 1.0f);
    EXPECT_EQ(vor::AsEllipsoid(e)->offset.y, 0.0f);
    EXPECT_EQ(m->kind, 2);
    EXPECT_EQ(vor::AsMesh(m)->triangleCount, 0u);
    EXPECT_EQ(vor::AsMesh(m)->triangles.head, nullptr);
    EXPECT_EQ(vor::AsMesh(m)->accel, nullptr);
    EXPECT_EQ(vor::AsMesh(m)->boundsMax.x, 0.0f);
}

TEST_F(Shapes, AShapeAddedToAnActiveBodyIsListedAtOnce) {
    MakeEllipsoid(1, 4);
    MakeEllipsoid(2, 4);
    AddObjShapeVOR(1, 1);
    vor::ValidateRegistry();
    EXPECT_EQ(Listed(1, 4),
              std::vector<ShapeHead *>({ShapeAt(1, 0), ShapeAt(2, 0), ShapeAt(1, 1)}));
}

TEST_F(Shapes, AShapeAddedBeforeActivationIsListedAtActivation) {
    NewCollObjVOR(1, 4);
    AddObjShapeVOR(1, 2);
    EXPECT_TRUE(Listed(2, 4).empty());
    ActivateObjVOR(1);
    EXPECT_EQ(Listed(2, 4), std::vector<ShapeHead *>({ShapeAt(1, 0)}));
    vor::ValidateRegistry();
}

TEST_F(Shapes, ActivationEntersShapesInAttachmentOrderBehindEarlierBodies) {
    NewCollObjVOR(1, 6);
    AddObjShapeVOR(1, 1);
    AddObjShapeVOR(1, 2);
    AddObjShapeVOR(1, 1);
    MakeEllipsoid(2, 6);
    ActivateObjVOR(1);
    vor::ValidateRegistry();
    EXPECT_EQ(Listed(1, 6),
              std::vector<ShapeHead *>({ShapeAt(2, 0), ShapeAt(1, 0), ShapeAt(1, 2)}));
    EXPECT_EQ(Listed(2, 6), std::vector<ShapeHead *>({ShapeAt(1, 1)}));
}

TEST_F(Shapes, EveryKindAndTypeHasAListOfItsOwn) {
    for (uint32_t type = 0; type <= 100; type++) {
        NewCollObjVOR(type + 1, type);
        AddObjShapeVOR(type + 1, 1);
        AddObjShapeVOR(type + 1, 2);
        ActivateObjVOR(type + 1);
    }
    vor::ValidateRegistry();
    for (int type = 0; type <= 100; type++) {
        EXPECT_EQ(Listed(1, type), std::vector<ShapeHead *>({ShapeAt(type + 1, 0)})) << type;
        EXPECT_EQ(Listed(2, type), std::vector<ShapeHead *>({ShapeAt(type + 1, 1)})) << type;
    }
}

TEST_F(Shapes, ShapeListForAnswersNullOutsideKindsAndTypes) {
    EXPECT_EQ(vor::ShapeListFor(0, 0), nullptr);
    EXPECT_EQ(vor::ShapeListFor(3, 0), nullptr);
    EXPECT_EQ(vor::ShapeListFor(1, -1), nullptr);
    EXPECT_EQ(vor::ShapeListFor(2, 101), nullptr);
    EXPECT_EQ(vor::ShapeListFor(1, 0), &vor::ShapeLists[1][0]);
    EXPECT_EQ(vor::ShapeListFor(2, 100), &vor::ShapeLists[2][100]);
}

using Activation = HostTest;

TEST_F(Activation, ReactivationMovesTheObjectToTheEndOfTheActiveList) {
    MakeEllipsoid(5, 1);
    MakeEllipsoid(9, 1);
    ActivateObjVOR(5);
    vor::ValidateRegistry();
    EXPECT_EQ(ActiveOrder(), std::vector<uint32_t>({9, 5}));
    EXPECT_EQ(StackWalk(), std::vector<int32_t>({9, 5}));
}

TEST_F(Activation, ReactivationKeepsBodyAndShapeEntriesInPlace) {
    MakeEllipsoid(5, 1);
    MakeEllipsoid(9, 1);
    vor::ActiveBodyEntry *bodyEntry = BodyOf(5)->activeBodyEntry;
    ShapeEntry *shapeEntry = ShapeAt(5, 0)->shapeEntry;
    ActivateObjVOR(5);
    EXPECT_EQ(BodyOf(5)->activeBodyEntry, bodyEntry);
    EXPECT_EQ(ShapeAt(5, 0)->shapeEntry, shapeEntry);
    EXPECT_EQ(vor::ListHead<vor::ActiveBodyEntry>(vor::ActiveBodyList), bodyEntry);
    EXPECT_EQ(Listed(1, 1), std::vector<ShapeHead *>({ShapeAt(5, 0), ShapeAt(9, 0)}));
}

TEST_F(Activation, DeactivationTakesTheBodyOutOfEveryActiveList) {
    MakeEllipsoid(5, 1);
    AddObjShapeVOR(5, 2);
    MakeEllipsoid(9, 1);
    DeActivateObjVOR(5);
    vor::ValidateRegistry();
    EXPECT_EQ(ActiveOrder(), std::vector<uint32_t>({9}));
    EXPECT_EQ(BodyOf(5)->activeBodyEntry, nullptr);
    EXPECT_EQ(ShapeAt(5, 0)->shapeEntry, nullptr);
    EXPECT_EQ(ShapeAt(5, 1)->shapeEntry, nullptr);
    EXPECT_EQ(Listed(1, 1), std::vector<ShapeHead *>({ShapeAt(9, 0)}));
    EXPECT_TRUE(Listed(2, 1).empty());
    // The body keeps its shapes and its place in BodyList.
    EXPECT_EQ(Length(BodyOf(5)->shapes), 2);
    EXPECT_EQ(vor::ListHead<CollisionBody>(vor::BodyList), BodyOf(5));
}

TEST_F(Activation, DeactivatingAnInactiveObjectOrTwiceDoesNothing) {
    NewCollObjVOR(5, 1);
    MakeEllipsoid(6, 1);
    Arm();
    DeActivateObjVOR(5);
    DeActivateObjVOR(6);
    DeActivateObjVOR(6);
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(vor::ActiveList.head, nullptr);
    EXPECT_EQ(Length(vor::ObjectList), 2);
    vor::ValidateRegistry();
}

TEST_F(Activation, ActivationAfterDeactivationListsTheShapesBehindOthers) {
    MakeEllipsoid(5, 1);
    MakeEllipsoid(9, 1);
    DeActivateObjVOR(5);
    ActivateObjVOR(5);
    vor::ValidateRegistry();
    EXPECT_EQ(Listed(1, 1), std::vector<ShapeHead *>({ShapeAt(9, 0), ShapeAt(5, 0)}));
    EXPECT_EQ(vor::ListTail<vor::ActiveBodyEntry>(vor::ActiveBodyList)->body, BodyOf(5));
}

TEST_F(Activation, RejectedCommandsChangeNothing) {
    MakeEllipsoid(5, 1);
    Arm();
    ActivateObjVOR(6);
    DeActivateObjVOR(0);
    FreeObjVOR(5001);
    AddObjShapeVOR(7, 1);
    AddObjShapeVOR(0xFFFFFFFFu, 2);
    EXPECT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(ActiveOrder(), std::vector<uint32_t>({5}));
    EXPECT_EQ(Length(vor::ObjectList), 1);
    EXPECT_EQ(Length(BodyOf(5)->shapes), 1);
    vor::ValidateRegistry();
}

using StackCursor = HostTest;

TEST_F(StackCursor, DeactivatingTheObjectUnderTheCursorMovesItOn) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    MakeEllipsoid(3, 0);
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
    ASSERT_EQ(vor::StackCursor, vor::ActiveTable[2]);
    DeActivateObjVOR(2);
    EXPECT_EQ(vor::StackCursor, vor::ActiveTable[3]);
    EXPECT_EQ(PeekCollisionStackVOR(), 3);
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
}

TEST_F(StackCursor, FreeingTheObjectUnderTheCursorMovesItOn) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    MakeEllipsoid(3, 0);
    ResetCollisionStackVOR();
    ASSERT_EQ(vor::StackCursor, vor::ActiveTable[1]);
    FreeObjVOR(1);
    vor::ValidateRegistry();
    EXPECT_EQ(vor::StackCursor, vor::ActiveTable[2]);
    EXPECT_EQ(PeekCollisionStackVOR(), 2);
}

TEST_F(StackCursor, RemovingTheLastEntryUnderTheCursorEndsTheWalk) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
    NewCollObjVOR(2, 0);
    EXPECT_EQ(vor::StackCursor, nullptr);
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
}

TEST_F(StackCursor, ReactivatingTheObjectUnderTheCursorMovesItOnToo) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    MakeEllipsoid(3, 0);
    ResetCollisionStackVOR();
    ActivateObjVOR(1);
    vor::ValidateRegistry();
    EXPECT_EQ(vor::StackCursor, vor::ActiveTable[2]);
    EXPECT_EQ(PeekCollisionStackVOR(), 2);
    EXPECT_EQ(PeekCollisionStackVOR(), 3);
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
}

TEST_F(StackCursor, RemovingAnotherEntryLeavesTheCursorWhereItIs) {
    MakeEllipsoid(1, 0);
    MakeEllipsoid(2, 0);
    MakeEllipsoid(3, 0);
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
    DeActivateObjVOR(3);
    EXPECT_EQ(vor::StackCursor, vor::ActiveTable[2]);
}

// Two ellipsoids on the x axis: object 1 (type 1) moves through object 2 (type 2) and stops.
class RegistryAfterPass : public HostTest {
  protected:
    void SetUp() override {
        HostTest::SetUp();
        MakeEllipsoid(1, 1);
        MakeEllipsoid(2, 2);
        Place(1, 0, 0, 0);
        Place(2, 5, 0, 0);
        SetCollisionsVOR(1, 2, 1, 1, 1);
        RunCollisionVOR();
        MoveTo(1, 10, 0, 0);
        RunCollisionVOR();
    }
};

TEST_F(RegistryAfterPass, DeactivationDropsTheContactsAndTheCorrections) {
    ASSERT_EQ(CountCollisionsVOR(1), 1);
    ASSERT_LT(X(1), 5.0f);
    DeActivateObjVOR(1);
    vor::ValidateRegistry();
    EXPECT_EQ(BodyOf(1)->currentMotion.head, nullptr);
    EXPECT_EQ(BodyOf(1)->previousMotion.head, nullptr);
    EXPECT_EQ(CountCollisionsVOR(1), 0);
    // Without its motion records the body is where the host asked for it.
    EXPECT_EQ(X(1), 10.0f);
}

TEST_F(RegistryAfterPass, FreeingTheBodyHitLeavesNoContactNamingIt) {
    ASSERT_EQ(CountCollisionsVOR(1), 1);
    ASSERT_EQ(CollisionHitObj(1, 1), 2);
    FreeObjVOR(2);
    vor::ValidateRegistry();
    for (ListLink *l = BodyOf(1)->currentMotion.head; l != nullptr; l = l->next) {
        vor::MotionRecord *m = vor::MemberOf<vor::MotionRecord>(l);
        if (m->nearest != nullptr) {
            EXPECT_EQ(m->nearest->otherBody, nullptr);
        }
    }
    EXPECT_EQ(CollisionHitObj(1, 1), 0);
    EXPECT_EQ(CollisionHitType(1, 1), 0);
}

TEST_F(RegistryAfterPass, FreeingAnInactiveBodyTakesItsMotionRecordsWithIt) {
    NewCollObjVOR(3, 1);
    AddObjShapeVOR(3, 1);
    MoveTo(3, 0, 4, 0);
    RunCollisionVOR();
    // Inactive bodies still get their steps from every pass.
    ASSERT_NE(BodyOf(3)->currentMotion.head, nullptr);
    FreeObjVOR(3);
    vor::ValidateRegistry();
    EXPECT_EQ(Length(vor::BodyList), 2);
}

TEST_F(RegistryAfterPass, ReplacingTheBodyHitLeavesNoContactNamingIt) {
    ASSERT_EQ(CountCollisionsVOR(1), 1);
    NewCollObjVOR(2, 7);
    EXPECT_EQ(CollisionHitObj(1, 1), 0);
    EXPECT_EQ(CollisionHitType(1, 1), 0);
}

} // namespace
