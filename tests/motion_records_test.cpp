// Motion and contact records: construction, FillContact, and the rules of AddContact and
// RemoveContact (strictly nearest, near-duplicates, one contact per phase, report-only contacts
// set aside), plus ForgetBody. These rules are only partly visible through the exports, so the
// records are built by hand on bodies made through the exports.
#include <cmath>
#include <limits>

#include "support/pass_test_support.h"

using vor::ContactRecord;
using vor::MotionRecord;
using vor::Vec3;

namespace {

class MotionRecordsTest : public PassInternalsTest {};

TEST_F(MotionRecordsTest, CreateMotionRecordStampsIterationAndAppendsToCurrentMotion) {
    vor::CollisionBody *b = NewBody(1);
    vor::Pass.sweepIteration = 7;
    MotionRecord *first = vor::CreateMotionRecord(b);
    MotionRecord *second = vor::CreateMotionRecord(b);
    EXPECT_EQ(first->iteration, 7);
    EXPECT_EQ(first->body, b);
    EXPECT_EQ(first->nearest, nullptr);
    ExpectVec(first->start, 0, 0, 0);
    EXPECT_EQ(Records(b), (std::vector<MotionRecord *>{first, second}));
    vor::ValidateList(b->currentMotion);
}

TEST_F(MotionRecordsTest, FreeMotionRecordIgnoresARecordOfAnotherBody) {
    vor::CollisionBody *a = NewBody(1);
    vor::CollisionBody *b = NewBody(2);
    MotionRecord *m = vor::CreateMotionRecord(a);
    vor::FreeMotionRecord(b, m);
    EXPECT_EQ(Records(a).size(), 1u);
    vor::FreeMotionRecord(a, m);
    EXPECT_TRUE(Records(a).empty());
}

TEST_F(MotionRecordsTest, FillContactDerivesPositionTargetAndTravelAndWidensTheTime) {
    vor::CollisionBody *other = NewBody(2);
    vor::CollisionDefinition *d = Def(1, 2);
    vor::Pass.sweepPhase = 1;
    ContactRecord *c = vor::NewContact(1);
    float time = 0.1f;
    vor::FillContact(c, d, other, Vec3{0, 0, 0}, Vec3{4, 0, 0}, Vec3{1, 1, 0}, Vec3{2, 1, 0},
                     Vec3{-1, 0, 0}, Vec3{0, 1, 0}, time);
    EXPECT_EQ(c->phase, 1);
    EXPECT_EQ(c->kind, 1);
    EXPECT_EQ(c->definition, d);
    EXPECT_EQ(c->otherBody, other);
    ExpectVec(c->contactCentre, 1, 1, 0);
    ExpectVec(c->contactPosition, 1, 0, 0);
    ExpectVec(c->targetPoint, 5, 0, 0);
    ExpectVec(c->travel, 1, 1, 0);
    ExpectVec(c->offset, 0, 1, 0);
    EXPECT_EQ(c->time, static_cast<double>(0.1f)); // widened, not re-rounded to 0.1
    vor::DestroyContact(c);
}

TEST_F(MotionRecordsTest, AContactAtTheSameTimeAsTheNearestIsDiscarded) {
    vor::CollisionBody *b = NewBody(1);
    vor::CollisionDefinition *d = Def(1, 2);
    MotionRecord *m = Step(b, {0, 0, 0}, {1, 0, 0});
    ContactRecord *older = Contact(d, 0.5f, {0, 0, 0});
    vor::AddContact(m, older);
    vor::AddContact(m, Contact(d, 0.5f, {5, 0, 0}));
    EXPECT_EQ(m->nearest, older);
    EXPECT_EQ(ContactCount(m), 1u);
    EXPECT_EQ(older->owner, m);
}

TEST_F(MotionRecordsTest, AContactWhoseTimeIsNotANumberIsDiscarded) {
    vor::CollisionBody *b = NewBody(1);
    MotionRecord *m = Step(b, {0, 0, 0}, {1, 0, 0});
    vor::AddContact(m, Contact(Def(1, 2), std::numeric_limits<float>::quiet_NaN(), {0, 0, 0}));
    EXPECT_EQ(m->nearest, nullptr);
    EXPECT_EQ(ContactCount(m), 0u);
}

TEST_F(MotionRecordsTest, AStrictlyEarlierContactOfTheSamePhaseReplacesTheNearest) {
    vor::CollisionBody *b = NewBody(1);
    vor::CollisionDefinition *d = Def(1, 2);
    MotionRecord *m = Step(b, {0, 0, 0}, {1, 0, 0});
    vor::AddContact(m, Contact(d, 0.5f, {0, 0, 0}));
    ContactRecord *earlier = Contact(d, 0.25f, {5, 0, 0});
    vor::AddContact(m, earlier);
    EXPECT_EQ(m->nearest, earlier);
    EXPECT_EQ(ContactCount(m), 1u);
}

TEST_F(MotionRecordsTest, ANearerEllipsoidContactKeepsTheMeshContactBehindIt) {
    vor::CollisionBody *b = NewBody(1);
    MotionRecord *m = Step(b, {0, 0, 0}, {1, 0, 0});
    vor::Pass.sweepPhase = 1;
    ContactRecord *mesh = Contact(Def(2, 2), 0.5f, {0, 0, 0});
    vor::AddContact(m, mesh);
    vor::Pass.sweepPhase = 2;
    ContactRecord *ellipsoid = Contact(Def(1, 2), 0.25f, {5, 0, 0});
    vor::AddContact(m, ellipsoid);
    EXPECT_EQ(m->nearest, ellipsoid);
    ASSERT_EQ(ContactCount(m), 2u);
    EXPECT_EQ(vor::ListHead<ContactRecord>(m->contacts), mesh);

    // Removing the nearest hands the title back to the mesh contact.
    vor::RemoveContact(m, ellipsoid);
    EXPECT_EQ(m->nearest, mesh);
    EXPECT_EQ(ContactCount(m), 1u);
}

TEST_F(MotionRecordsTest, RemovingTheNearestPicksTheEarlierListedOfTwoEqualContacts) {
    vor::CollisionBody *b = NewBody(1);
    MotionRecord *m = Step(b, {0, 0, 0}, {1, 0, 0});
    // Built by hand: three contacts, two of them equally near behind the nearest.
    ContactRecord *first = Contact(Def(2, 2), 0.5f, {0, 0, 0});
    ContactRecord *second = Contact(Def(2, 2), 0.5f, {1, 0, 0});
    ContactRecord *nearest = Contact(Def(1, 2), 0.1f, {2, 0, 0});
    for (ContactRecord *c : {first, second, nearest}) {
        vor::Append(&c->link, &m->contacts);
        c->owner = m;
    }
    m->nearest = nearest;
    vor::RemoveContact(m, nearest);
    EXPECT_EQ(m->nearest, first);
    EXPECT_EQ(ContactCount(m), 2u);
}

// Near-duplicates: a point within a squared distance below 0.1 of an earlier step's contact.
class NearDuplicateTest : public MotionRecordsTest {
  protected:
    void SetUp() override {
        MotionRecordsTest::SetUp();
        body = NewBody(1);
        d = Def(1, 2);
        earlier = Step(body, {0, 0, 0}, {1, 0, 0});
        vor::AddContact(earlier, Contact(d, 0.5f, {0, 0, 0}));
        current = Step(body, {1, 0, 0}, {2, 0, 0});
    }
    vor::CollisionBody *body = nullptr;
    vor::CollisionDefinition *d = nullptr;
    MotionRecord *earlier = nullptr;
    MotionRecord *current = nullptr;
};

TEST_F(NearDuplicateTest, APointCloserThanTheLimitIsDiscardedEvenAsTheEarliestContact) {
    vor::AddContact(current, Contact(d, 0.0f, {0.1f, 0.29f, 0}));
    EXPECT_EQ(current->nearest, nullptr);
    EXPECT_EQ(ContactCount(current), 0u);
}

TEST_F(NearDuplicateTest, APointAtTheLimitSurvives) {
    // 0.1^2 + 0.3^2 rounds to the float nearest 0.1, which is not below the double 0.1.
    ContactRecord *c = Contact(d, 0.0f, {0.1f, 0.3f, 0});
    vor::AddContact(current, c);
    EXPECT_EQ(current->nearest, c);
}

TEST_F(NearDuplicateTest, EveryEarlierStepIsComparedNotOnlyTheOneBefore) {
    MotionRecord *middle = current;
    vor::AddContact(middle, Contact(d, 0.5f, {5, 0, 0}));
    MotionRecord *last = Step(body, {2, 0, 0}, {3, 0, 0});
    vor::AddContact(last, Contact(d, 0.5f, {0, 0.2f, 0}));
    EXPECT_EQ(last->nearest, nullptr);
}

TEST_F(NearDuplicateTest, TheFirstStepHasNothingToCompareWith) {
    vor::CollisionBody *fresh = NewBody(2);
    MotionRecord *only = Step(fresh, {0, 0, 0}, {1, 0, 0});
    ContactRecord *c = Contact(d, 0.5f, {0, 0, 0});
    vor::AddContact(only, c);
    EXPECT_EQ(only->nearest, c);
}

TEST_F(NearDuplicateTest, AReportOnlyContactIsNotTestedForRepeats) {
    vor::AddContact(current, Contact(Def(1, 5), 0.5f, {0, 0, 0}));
    auto records = Records(body);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_NE(records[1]->nearest, nullptr);
}

TEST_F(NearDuplicateTest, SetAsideReportRecordsAreComparedToo) {
    vor::AddContact(current, Contact(Def(1, 5), 0.5f, {7, 0, 0}));
    vor::AddContact(current, Contact(d, 0.25f, {7, 0.1f, 0}));
    EXPECT_EQ(current->nearest, nullptr);
}

// Report-only (response 5) contacts go on a record of their own in front of the step.
TEST_F(MotionRecordsTest, AReportOnlyContactIsSetAsideOnARecordBeforeTheCurrentStep) {
    vor::CollisionBody *b = NewBody(1);
    MotionRecord *m = Step(b, {0, 0, 0}, {4, 0, 0});
    ContactRecord *blocking = Contact(Def(1, 1), 0.5f, {0, 0, 0});
    vor::AddContact(m, blocking);
    vor::Pass.sweepIteration = 3;
    ContactRecord *report = Contact(Def(1, 5), 0.25f, {9, 0, 0});
    vor::AddContact(m, report);

    auto records = Records(b);
    ASSERT_EQ(records.size(), 2u);
    MotionRecord *aside = records[0];
    EXPECT_EQ(records[1], m);
    EXPECT_EQ(m->nearest, blocking);
    EXPECT_EQ(aside->nearest, report);
    EXPECT_EQ(report->owner, aside);
    EXPECT_EQ(aside->iteration, 3);
    EXPECT_EQ(aside->body, b);
    ExpectVec(aside->start, 0, 0, 0);
    ExpectVec(aside->end, 0, 0, 0);
    vor::ValidateList(b->currentMotion);
}

TEST_F(MotionRecordsTest, AReportOnlyContactMeetingAStepWithoutContactIsSetAside) {
    vor::CollisionBody *b = NewBody(1);
    MotionRecord *first = Step(b, {0, 0, 0}, {1, 0, 0});
    vor::AddContact(first, Contact(Def(1, 1), 0.5f, {5, 0, 0}));
    MotionRecord *m = Step(b, {0, 0, 0}, {4, 0, 0});
    vor::AddContact(m, Contact(Def(1, 5), 0.75f, {9, 0, 0}));
    auto records = Records(b);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], first);
    EXPECT_NE(records[1]->nearest, nullptr);
    EXPECT_EQ(records[2], m);
    EXPECT_EQ(m->nearest, nullptr);
}

TEST_F(MotionRecordsTest, AReportOnlyContactNotEarlierThanTheNearestIsDiscarded) {
    vor::CollisionBody *b = NewBody(1);
    MotionRecord *m = Step(b, {0, 0, 0}, {4, 0, 0});
    vor::AddContact(m, Contact(Def(1, 1), 0.5f, {0, 0, 0}));
    vor::AddContact(m, Contact(Def(1, 5), 0.5f, {9, 0, 0}));
    EXPECT_EQ(Records(b).size(), 1u);
}

// Destroyed bodies: no contact of another body keeps naming them.
TEST_F(MotionRecordsTest, ForgetBodyClearsContactsInCurrentAndPreviousMotionOfOtherBodies) {
    vor::CollisionBody *a = NewBody(1);
    vor::CollisionBody *gone = NewBody(2);
    vor::CollisionBody *kept = NewBody(3);
    vor::CollisionDefinition *d = Def(1, 2);
    MotionRecord *old = Step(a, {0, 0, 0}, {1, 0, 0});
    vor::AddContact(old, Contact(d, 0.5f, {0, 0, 0}, {0, 1, 0}, gone));
    // Retire it by hand: a's current list becomes its previous list.
    a->previousMotion = a->currentMotion;
    a->currentMotion = vor::IntrusiveList{};
    MotionRecord *now = Step(a, {1, 0, 0}, {2, 0, 0});
    vor::AddContact(now, Contact(d, 0.5f, {0, 0, 0}, {0, 1, 0}, gone));
    MotionRecord *other = Step(a, {1, 0, 0}, {2, 0, 0});
    vor::AddContact(other, Contact(d, 0.5f, {5, 0, 0}, {0, 1, 0}, kept));

    vor::ForgetBody(gone);
    EXPECT_EQ(old->nearest->otherBody, nullptr);
    EXPECT_EQ(now->nearest->otherBody, nullptr);
    EXPECT_EQ(other->nearest->otherBody, kept);
}

} // namespace
