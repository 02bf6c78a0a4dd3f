// The host's table and bit set: counts, bounds reports and bit operations.
#include <gtest/gtest.h>

#include "host/BitArray.h"
#include "host/Tab.h"
#include "tests/common/TestHost.h"

TEST(TabTable, CountAndStorage) {
    Tab<int> t;
    EXPECT_EQ(t.Count(), 0);
    t.TBSetCount(3);
    ASSERT_EQ(t.Count(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(t[i], 0);
    t[0] = 7;
    t[2] = 9;
    t.Append(11);
    EXPECT_EQ(t.Count(), 4);
    EXPECT_EQ(*t.Addr(3), 11);
    t.TBSetCount(2);  // shrinking keeps the front
    EXPECT_EQ(t.Count(), 2);
    EXPECT_EQ(t[0], 7);
    t.TBSetCount(-5);
    EXPECT_EQ(t.Count(), 0);
    t.TBSetCount(2);
    t.zfree();
    EXPECT_EQ(t.Count(), 0);
}

TEST(TabTable, OutOfRangeIsReportedAndNotCarriedOut) {
    TestHost host;
    Tab<int> t;
    t.TBSetCount(3);
    t[0] = 1;
    t[1] = 2;
    t[2] = 3;
    ASSERT_TRUE(host.assertions.empty());

    t[3] = 99;   // one past the end
    t[-1] = 98;  // negative
    const Tab<int>& ct = t;
    const int read = ct[5];
    EXPECT_EQ(read, 0);

    ASSERT_EQ(host.assertions.size(), 3u);
    for (const auto& a : host.assertions) {
        EXPECT_EQ(a.second, "Tab");
        EXPECT_GT(a.first, 0);
    }
    EXPECT_EQ(t.Count(), 3);
    EXPECT_EQ(t[0], 1);
    EXPECT_EQ(t[1], 2);
    EXPECT_EQ(t[2], 3);
    // A stray write does not leak into a later out-of-range read.
    EXPECT_EQ(t[7], 0);
}

TEST(BitArraySet, SetClearCountAndResize) {
    BitArray b(10);
    EXPECT_EQ(b.GetSize(), 10);
    EXPECT_EQ(b.NumberSet(), 0);
    b.Set(0);
    b.Set(9);
    b.Set(4, 1);
    EXPECT_EQ(b.NumberSet(), 3);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[4], 1);
    EXPECT_EQ(b[5], 0);
    b.Set(4, 0);
    b.Clear(9);
    EXPECT_EQ(b.NumberSet(), 1);

    // Out-of-range indices are ignored and read as clear.
    b.Set(10);
    b.Set(-1);
    EXPECT_EQ(b[10], 0);
    EXPECT_EQ(b[-1], 0);
    EXPECT_EQ(b.NumberSet(), 1);

    // Growing keeps the old bits and adds clear ones; shrinking drops the surplus.
    b.SetSize(20, 1);
    EXPECT_EQ(b.GetSize(), 20);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b.NumberSet(), 1);
    b.SetAll();
    EXPECT_EQ(b.NumberSet(), 20);
    b.SetSize(5, 1);
    EXPECT_EQ(b.NumberSet(), 5);
    b.ClearAll();
    EXPECT_EQ(b.NumberSet(), 0);
    EXPECT_EQ(b.GetSize(), 5);
}
