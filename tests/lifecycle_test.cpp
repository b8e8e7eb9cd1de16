// Start and stop, the three system settings, and error reporting: one report per arming, the
// exact texts and numbers, the default handler, and what StopCollisionVOR frees and keeps.
#include <cstdint>
#include <string>

#include "core/definitions.h"
#include "core/error_report.h"
#include "body/registry.h"
#include "query/contact_queries.h"
#include "core/settings.h"
#include "support/test_support.h"

namespace {

// True when every table and list of the registry and the definitions is empty.
bool RegistryIsEmpty() {
    for (uint32_t n = 0; n < vor::kObjectSlots; n++) {
        if (vor::ObjectTable[n] != nullptr || vor::ActiveTable[n] != nullptr) {
            return false;
        }
    }
    for (int kind = 0; kind < 3; kind++) {
        for (uint32_t type = 0; type < vor::kCollisionTypeCount; type++) {
            if (vor::ShapeLists[kind][type].head != nullptr) {
                return false;
            }
        }
    }
    return vor::ObjectList.head == nullptr && vor::BodyList.head == nullptr &&
           vor::ActiveList.head == nullptr && vor::ActiveBodyList.head == nullptr &&
           vor::DefinitionList.head == nullptr && vor::StackCursor == nullptr;
}

// A small scene with every kind of record: active and inactive objects, shapes, definitions.
void BuildScene() {
    NewCollObjVOR(1, 3);
    AddObjShapeVOR(1, 1);
    AddObjShapeVOR(1, 2);
    ActivateObjVOR(1);
    NewCollObjVOR(2, 4);
    AddObjShapeVOR(2, 1);
    NewCollObjVOR(5000, 100);
    ActivateObjVOR(5000);
    SetCollisionsVOR(3, 4, 1, 2, 1);
    SetCollisionsVOR(3, 100, 2, 3, 2);
}

using ErrorReporting = HostTest;

TEST_F(ErrorReporting, NothingIsReportedWithoutArming) {
    SetConcaveModeVOR(0);
    FreeObjVOR(0);
    NewCollObjVOR(1, 101);
    SetCollisionsVOR(101, 0, 1, 1, 1);
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(vor::ConcaveMode, 3u);
    EXPECT_TRUE(RegistryIsEmpty());
}

TEST_F(ErrorReporting, OnlyTheFirstErrorAfterArmingIsReported) {
    Arm();
    SetConcaveModeVOR(0);
    SetConcaveModeVOR(9);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Invalid System Concave Setting: 0");
    EXPECT_EQ(log.captions[0], "Collision Error");
    EXPECT_EQ(vor::ConcaveMode, 3u);
}

TEST_F(ErrorReporting, ArmingAgainReportsTheNextErrorToo) {
    Arm();
    SetConcaveModeVOR(0);
    SetConcaveModeVOR(9);
    Arm();
    SetConcaveModeVOR(10);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[1], "Invalid System Concave Setting: 10");
}

TEST_F(ErrorReporting, ArmingTwiceStillReportsOnce) {
    Arm();
    Arm();
    SetConcaveModeVOR(0);
    SetConcaveModeVOR(0);
    EXPECT_EQ(log.texts.size(), 1u);
}

TEST_F(ErrorReporting, NumbersFromTwoToTheTwentyFourUpPrintExactly) {
    // A float would print 16777216 for 16777217 and 4294967296 for 4294967295.
    Arm();
    NewCollObjVOR(16777217u, 0);
    Arm();
    NewCollObjVOR(0x80000000u, 0);
    Arm();
    NewCollObjVOR(0xFFFFFFFFu, 0);
    ASSERT_EQ(log.texts.size(), 3u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 16777217");
    EXPECT_EQ(log.texts[1], "Object number out of range for collision system: 2147483648");
    EXPECT_EQ(log.texts[2], "Object number out of range for collision system: 4294967295");
}

TEST_F(ErrorReporting, ObjectNumberZeroAndAboveFiveThousandAreOutOfRange) {
    Arm();
    FreeObjVOR(0);
    Arm();
    FreeObjVOR(5001);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[0], "Object number out of range for collision system: 0");
    EXPECT_EQ(log.texts[1], "Object number out of range for collision system: 5001");
}

TEST_F(ErrorReporting, AFreeNumberInRangeIsNotDefined) {
    Arm();
    FreeObjVOR(5000);
    Arm();
    ActivateObjVOR(1);
    ASSERT_EQ(log.texts.size(), 2u);
    EXPECT_EQ(log.texts[0], "Object not defined in collision system: 5000");
    EXPECT_EQ(log.texts[1], "Object not defined in collision system: 1");
}

TEST_F(ErrorReporting, BadObjNumberAnswersFalseSilentlyForAnObjectInUse) {
    NewCollObjVOR(5000, 0);
    Arm();
    EXPECT_FALSE(vor::BadObjNumber(5000));
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(vor::ErrorBoxArmed, 1);
    EXPECT_TRUE(vor::BadObjNumber(4999));
    EXPECT_EQ(log.texts.size(), 1u);
}

TEST_F(ErrorReporting, HandlerReceivesTheUserPointer) {
    struct Seen {
        void *user = nullptr;
        int calls = 0;
    } seen;
    SetErrorHandlerVOR(
        [](const char *, const char *, void *user) {
            Seen *s = static_cast<Seen *>(user);
            s->user = user;
            s->calls++;
        },
        &seen);
    Arm();
    SetConcaveModeVOR(0);
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.user, &seen);
    EXPECT_TRUE(log.texts.empty());
}

// Calls back into the library with another bad command from inside the handler.
void ReenteringHandler(const char *text, const char *caption, void *user) {
    RecordError(text, caption, user);
    SetConcaveModeVOR(0);
    FreeObjVOR(0);
}

TEST_F(ErrorReporting, AHandlerThatTriggersAnotherErrorIsCalledOnce) {
    SetErrorHandlerVOR(ReenteringHandler, &log);
    Arm();
    SetConcaveModeVOR(8);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Invalid System Concave Setting: 8");
    EXPECT_EQ(vor::ErrorBoxArmed, 0);
}

// Stops the whole system from inside the report, as a host that gives up on the first error.
void StoppingHandler(const char *text, const char *caption, void *user) {
    RecordError(text, caption, user);
    StopCollisionVOR();
}

TEST_F(ErrorReporting, AHandlerThatStopsTheSystemLeavesItEmptyAndUsable) {
    BuildScene();
    SetErrorHandlerVOR(StoppingHandler, &log);
    Arm();
    SetObjRadiusVOR(1, 0, 1, 1);
    ASSERT_EQ(log.texts.size(), 1u);
    EXPECT_EQ(log.texts[0], "Ellip radius values must be positive for object: 1");
    EXPECT_TRUE(RegistryIsEmpty());
    BuildScene();
    vor::ValidateRegistry();
}

TEST_F(ErrorReporting, DefaultHandlerWritesOneLineOnStandardError) {
    SetErrorHandlerVOR(nullptr, nullptr);
    Arm();
    testing::internal::CaptureStderr();
    SetConcaveModeVOR(0);
    SetConcaveModeVOR(9);
    std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(written, "Collision Error: Invalid System Concave Setting: 0\n");
}

TEST_F(ErrorReporting, NullHandlerRestoresTheDefaultAfterACustomOne) {
    SetErrorHandlerVOR(nullptr, &log);
    Arm();
    testing::internal::CaptureStderr();
    FreeObjVOR(7);
    std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(written, "Collision Error: Object not defined in collision system: 7\n");
    EXPECT_TRUE(log.texts.empty());
}

using Settings = HostTest;

TEST_F(Settings, ConcaveModeAcceptsOneToSeven) {
    Arm();
    for (uint32_t mode = 1; mode <= 7; mode++) {
        SetConcaveModeVOR(mode);
        EXPECT_EQ(vor::ConcaveMode, mode);
    }
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(vor::ErrorBoxArmed, 1);
}

TEST_F(Settings, ConcaveModeRejectsZeroEightAndNegativeValues) {
    SetConcaveModeVOR(5);
    for (uint32_t mode : {0u, 8u, 0xFFFFFFFFu}) {
        Arm();
        SetConcaveModeVOR(mode);
        EXPECT_EQ(vor::ConcaveMode, 5u);
    }
    ASSERT_EQ(log.texts.size(), 3u);
    EXPECT_EQ(log.texts[1], "Invalid System Concave Setting: 8");
    EXPECT_EQ(log.texts[2], "Invalid System Concave Setting: 4294967295");
}

TEST_F(Settings, EllipSizeModeStoresNonZeroAsOne) {
    SetEllipSizeModeVOR(5);
    EXPECT_EQ(vor::EllipSizeMode, 1);
    SetEllipSizeModeVOR(0);
    EXPECT_EQ(vor::EllipSizeMode, 0);
    SetEllipSizeModeVOR(-1);
    EXPECT_EQ(vor::EllipSizeMode, 1);
}

TEST_F(Settings, EllipOptimizeStoresNonZeroAsOne) {
    SetEllipOptimizeVOR(0);
    EXPECT_EQ(vor::EllipOptimize, 0);
    SetEllipOptimizeVOR(256); // no byte truncation: 256 is non-zero
    EXPECT_EQ(vor::EllipOptimize, 1);
    SetEllipOptimizeVOR(0);
    SetEllipOptimizeVOR(INT32_MIN);
    EXPECT_EQ(vor::EllipOptimize, 1);
}

TEST_F(Settings, FlagSettingsNeverReport) {
    Arm();
    SetEllipOptimizeVOR(-7);
    SetEllipSizeModeVOR(12345);
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(vor::ErrorBoxArmed, 1);
}

TEST_F(Settings, SettingsSurviveStop) {
    SetEllipOptimizeVOR(0);
    SetEllipSizeModeVOR(1);
    SetConcaveModeVOR(7);
    StopCollisionVOR();
    EXPECT_EQ(vor::EllipOptimize, 0);
    EXPECT_EQ(vor::EllipSizeMode, 1);
    EXPECT_EQ(vor::ConcaveMode, 7u);
}

using Lifecycle = HostTest;

TEST_F(Lifecycle, StartChangesNothingOtherCommandsRead) {
    BuildScene();
    Arm();
    StartCollisionVOR();
    EXPECT_EQ(vor::ErrorBoxArmed, 1);
    ASSERT_NE(vor::ObjectTable[1], nullptr);
    EXPECT_NE(vor::ActiveTable[1], nullptr);
    EXPECT_NE(vor::DefinitionList.head, nullptr);
    vor::ValidateRegistry();
}

TEST_F(Lifecycle, StopFreesEveryRecord) {
    BuildScene();
    ResetCollisionStackVOR();
    StopCollisionVOR();
    EXPECT_TRUE(RegistryIsEmpty());
    vor::ValidateRegistry();
}

TEST_F(Lifecycle, StopDisarmsTheErrorBox) {
    Arm();
    StopCollisionVOR();
    SetConcaveModeVOR(0);
    EXPECT_TRUE(log.texts.empty());
    EXPECT_EQ(vor::ErrorBoxArmed, 0);
}

TEST_F(Lifecycle, StopTwiceOnAnEmptySystemOnlyDisarms) {
    StopCollisionVOR();
    Arm();
    StopCollisionVOR();
    StopCollisionVOR();
    EXPECT_TRUE(RegistryIsEmpty());
    EXPECT_EQ(vor::ErrorBoxArmed, 0);
    EXPECT_EQ(vor::ConcaveMode, 3u);
    EXPECT_TRUE(log.texts.empty());
}

TEST_F(Lifecycle, StopKeepsTheErrorHandler) {
    StopCollisionVOR();
    Arm();
    SetConcaveModeVOR(0);
    EXPECT_EQ(log.texts.size(), 1u);
}

TEST_F(Lifecycle, StopInTheMiddleOfAStackWalkLeavesTheCursorNull) {
    BuildScene();
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
    ASSERT_EQ(vor::StackCursor, vor::ActiveTable[5000]);
    StopCollisionVOR();
    EXPECT_EQ(vor::StackCursor, nullptr);
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
}

TEST_F(Lifecycle, TheModuleIsUsableAfterStop) {
    BuildScene();
    StopCollisionVOR();
    BuildScene();
    vor::ValidateRegistry();
    ASSERT_NE(vor::ObjectTable[2], nullptr);
    EXPECT_EQ(vor::ObjectTable[2]->body->collisionType, 4);
    ResetCollisionStackVOR();
    EXPECT_EQ(PeekCollisionStackVOR(), 1);
    EXPECT_EQ(PeekCollisionStackVOR(), 5000);
    EXPECT_EQ(PeekCollisionStackVOR(), 0);
}

} // namespace
