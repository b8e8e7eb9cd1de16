// The four list operations on small records, checking every link after each operation, and the
// debug validator's refusal of broken lists. No export exposes a list, so these are unit tests.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "core/intrusive_list.h"

namespace {

using vor::IntrusiveList;
using vor::ListLink;

struct Node {
    ListLink link;
    int id;
};

class IntrusiveListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 4; i++) {
            nodes[i].id = i;
            vor::InitMember(&nodes[i].link);
        }
    }
    // a, b, c appended in this order.
    void MakeThree() {
        vor::Append(&a().link, &list);
        vor::Append(&b().link, &list);
        vor::Append(&c().link, &list);
    }
    // Checks head, tail, and every prev and next against the expected order.
    void ExpectOrder(std::initializer_list<Node *> order) {
        std::vector<Node *> want(order);
        if (want.empty()) {
            EXPECT_EQ(list.head, nullptr);
            EXPECT_EQ(list.tail, nullptr);
            return;
        }
        EXPECT_EQ(list.head, &want.front()->link);
        EXPECT_EQ(list.tail, &want.back()->link);
        for (size_t i = 0; i < want.size(); i++) {
            ListLink *prev = i == 0 ? nullptr : &want[i - 1]->link;
            ListLink *next = i + 1 == want.size() ? nullptr : &want[i + 1]->link;
            EXPECT_EQ(want[i]->link.prev, prev) << "prev of member " << want[i]->id;
            EXPECT_EQ(want[i]->link.next, next) << "next of member " << want[i]->id;
        }
        vor::ValidateList(list);
    }
    Node &a() { return nodes[0]; }
    Node &b() { return nodes[1]; }
    Node &c() { return nodes[2]; }
    Node &d() { return nodes[3]; }

    Node nodes[4];
    IntrusiveList list{};
};

TEST_F(IntrusiveListTest, InitMemberClearsBothLinks) {
    a().link.prev = &b().link;
    a().link.next = &c().link;
    vor::InitMember(&a().link);
    EXPECT_EQ(a().link.prev, nullptr);
    EXPECT_EQ(a().link.next, nullptr);
}

TEST_F(IntrusiveListTest, AppendToEmptyListMakesMemberHeadAndTail) {
    EXPECT_EQ(vor::Append(&a().link, &list), &a().link);
    ExpectOrder({&a()});
}

TEST_F(IntrusiveListTest, AppendKeepsInsertionOrder) {
    MakeThree();
    ExpectOrder({&a(), &b(), &c()});
}

TEST_F(IntrusiveListTest, AppendOfNullIsIgnoredAndAnswersNull) {
    MakeThree();
    EXPECT_EQ(vor::Append(nullptr, &list), nullptr);
    ExpectOrder({&a(), &b(), &c()});
}

TEST_F(IntrusiveListTest, AppendOverwritesStaleLinksOfTheMember) {
    vor::Append(&a().link, &list);
    b().link.prev = &d().link;
    b().link.next = &d().link;
    vor::Append(&b().link, &list);
    ExpectOrder({&a(), &b()});
}

TEST_F(IntrusiveListTest, UnlinkOfTheOnlyMemberLeavesTheListEmpty) {
    vor::Append(&a().link, &list);
    vor::Unlink(&a().link, &list);
    ExpectOrder({});
}

TEST_F(IntrusiveListTest, UnlinkOfTheHeadMakesTheSecondMemberHead) {
    MakeThree();
    vor::Unlink(&a().link, &list);
    ExpectOrder({&b(), &c()});
}

TEST_F(IntrusiveListTest, UnlinkOfTheTailMakesThePreviousMemberTail) {
    MakeThree();
    vor::Unlink(&c().link, &list);
    ExpectOrder({&a(), &b()});
}

TEST_F(IntrusiveListTest, UnlinkOfTheMiddleKeepsItsNeighboursLinked) {
    MakeThree();
    vor::Unlink(&b().link, &list);
    ExpectOrder({&a(), &c()});
}

TEST_F(IntrusiveListTest, UnlinkLeavesTheMembersOwnLinksAsTheyWere) {
    MakeThree();
    vor::Unlink(&b().link, &list);
    EXPECT_EQ(b().link.prev, &a().link);
    EXPECT_EQ(b().link.next, &c().link);
}

TEST_F(IntrusiveListTest, UnlinkedMemberCanBeAppendedAgainAtTheEnd) {
    MakeThree();
    vor::Unlink(&a().link, &list);
    vor::Append(&a().link, &list);
    ExpectOrder({&b(), &c(), &a()});
}

TEST_F(IntrusiveListTest, TeardownByTakingTheHeadEmptiesTheList) {
    MakeThree();
    vor::Append(&d().link, &list);
    int taken = 0;
    while (list.head != nullptr) {
        Node *first = vor::ListHead<Node>(list);
        EXPECT_EQ(first->id, taken);
        vor::Unlink(list.head, &list);
        taken++;
    }
    EXPECT_EQ(taken, 4);
    ExpectOrder({});
}

TEST_F(IntrusiveListTest, MovingTheTailBeforeTheHeadGivesTailHeadMiddle) {
    MakeThree();
    vor::Move(&c().link, &list, &a().link, vor::kBefore);
    ExpectOrder({&c(), &a(), &b()});
}

TEST_F(IntrusiveListTest, MovingAMemberBeforeItselfChangesNothing) {
    MakeThree();
    vor::Move(&b().link, &list, &b().link, vor::kBefore);
    ExpectOrder({&a(), &b(), &c()});
}

TEST_F(IntrusiveListTest, MovingAMemberAfterItselfChangesNothing) {
    MakeThree();
    vor::Move(&c().link, &list, &c().link, vor::kAfter);
    ExpectOrder({&a(), &b(), &c()});
}

TEST_F(IntrusiveListTest, MovingTheHeadAfterTheTailMakesItTail) {
    MakeThree();
    vor::Move(&a().link, &list, &c().link, vor::kAfter);
    ExpectOrder({&b(), &c(), &a()});
}

TEST_F(IntrusiveListTest, MovingTheHeadBeforeTheTailPutsItSecondToLast) {
    MakeThree();
    vor::Move(&a().link, &list, &c().link, vor::kBefore);
    ExpectOrder({&b(), &a(), &c()});
}

TEST_F(IntrusiveListTest, MovingTheTailAfterTheHeadPutsItSecond) {
    MakeThree();
    vor::Move(&c().link, &list, &a().link, vor::kAfter);
    ExpectOrder({&a(), &c(), &b()});
}

TEST_F(IntrusiveListTest, MovingAMemberBeforeItsOwnSuccessorKeepsTheOrder) {
    MakeThree();
    vor::Move(&a().link, &list, &b().link, vor::kBefore);
    ExpectOrder({&a(), &b(), &c()});
}

TEST_F(IntrusiveListTest, MovingAMemberAfterItsOwnPredecessorKeepsTheOrder) {
    MakeThree();
    vor::Move(&c().link, &list, &b().link, vor::kAfter);
    ExpectOrder({&a(), &b(), &c()});
}

TEST_F(IntrusiveListTest, MovingTheSecondBeforeTheHeadSwapsATwoMemberList) {
    vor::Append(&a().link, &list);
    vor::Append(&b().link, &list);
    vor::Move(&b().link, &list, &a().link, vor::kBefore);
    ExpectOrder({&b(), &a()});
}

TEST_F(IntrusiveListTest, MovingTheHeadAfterTheSecondSwapsATwoMemberList) {
    vor::Append(&a().link, &list);
    vor::Append(&b().link, &list);
    vor::Move(&a().link, &list, &b().link, vor::kAfter);
    ExpectOrder({&b(), &a()});
}

TEST_F(IntrusiveListTest, MovingIntoTheMiddleOfFourLinksBothSides) {
    MakeThree();
    vor::Append(&d().link, &list);
    vor::Move(&d().link, &list, &b().link, vor::kBefore);
    ExpectOrder({&a(), &d(), &b(), &c()});
    vor::Move(&a().link, &list, &b().link, vor::kAfter);
    ExpectOrder({&d(), &b(), &a(), &c()});
}

#ifdef VOR_VALIDATE
using IntrusiveListDeathTest = IntrusiveListTest;

TEST_F(IntrusiveListDeathTest, ValidatorRejectsAHeadWithoutATail) {
    vor::Append(&a().link, &list);
    list.tail = nullptr;
    EXPECT_DEATH(vor::ValidateList(list), "");
}

TEST_F(IntrusiveListDeathTest, ValidatorRejectsABrokenBackLink) {
    MakeThree();
    c().link.prev = &a().link;
    EXPECT_DEATH(vor::ValidateList(list), "");
}

TEST_F(IntrusiveListDeathTest, ValidatorRejectsATailLoopingBackToTheHead) {
    MakeThree();
    c().link.next = &a().link;
    EXPECT_DEATH(vor::ValidateList(list), "");
}

TEST_F(IntrusiveListDeathTest, ValidatorRejectsATailThatIsNotTheLastMember) {
    MakeThree();
    list.tail = &b().link;
    EXPECT_DEATH(vor::ValidateList(list), "");
}
#endif

} // namespace
