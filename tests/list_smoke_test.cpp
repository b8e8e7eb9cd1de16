// Placeholder removed once real list tests exist.
#include <gtest/gtest.h>
#include "core/intrusive_list.h"
TEST(IntrusiveListSmoke, AppendToEmptyMakesHeadAndTail) {
    vor::IntrusiveList l{};
    vor::ListLink a;
    vor::InitMember(&a);
    vor::Append(&a, &l);
    EXPECT_EQ(l.head, &a);
    EXPECT_EQ(l.tail, &a);
}
