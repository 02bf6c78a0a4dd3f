// The two-dimensional grid: shape, resizing, bounds-checked access and its reports.
#include <gtest/gtest.h>

#include "support/BArray.h"
#include "tests/common/TestHost.h"
#include "uvgrit/TexelRecord.h"

namespace {

// Every module name the test host recorded.
std::vector<std::string> Modules(const TestHost& host) {
    std::vector<std::string> m;
    for (const auto& a : host.assertions) m.push_back(a.second);
    return m;
}

}  // namespace

TEST(BArrayShape, NewArrayIsOneCellOfTheDefault) {
    BArray<float> f;
    EXPECT_EQ(f.ColumnCount(), 1u);
    EXPECT_EQ(f.RowCount(), 1u);
    EXPECT_EQ(f.Get(0, 0), 0.0f);

    BArray<TexelRecord> t;
    EXPECT_EQ(t.ColumnCount(), 1u);
    EXPECT_EQ(t.RowCount(), 1u);
    const TexelRecord r = t.Get(0, 0);
    EXPECT_EQ(r.faceIndex, -1);
    EXPECT_EQ(r.weights, Point3(0, 0, 0));
    EXPECT_EQ(r.rawWeights, Point3(0, 0, 0));
}

TEST(BArrayShape, GrowingKeepsOldCellsAndFillsNewOnes) {
    TestHost host;
    BArray<float> a;
    a.Resize(3, 2, 1.5f);
    ASSERT_EQ(a.ColumnCount(), 3u);
    ASSERT_EQ(a.RowCount(), 2u);
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 2; ++y) a.Set(x, y, static_cast<float>(10 * x + y));

    a.Resize(5, 4, -7.0f);
    ASSERT_EQ(a.ColumnCount(), 5u);
    ASSERT_EQ(a.RowCount(), 4u);
    int kept = 0, filled = 0;
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 4; ++y) {
            if (x < 3 && y < 2) {
                EXPECT_EQ(a.Get(x, y), static_cast<float>(10 * x + y)) << x << ", " << y;
                ++kept;
            } else {
                EXPECT_EQ(a.Get(x, y), -7.0f) << x << ", " << y;
                ++filled;
            }
        }
    EXPECT_EQ(kept, 6);
    EXPECT_EQ(filled, 14);
    EXPECT_TRUE(host.assertions.empty());
}

TEST(BArrayShape, ShrinkingDropsFromTheEnd) {
    BArray<float> a;
    a.Resize(4, 4, 0.0f);
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y) a.Set(x, y, static_cast<float>(10 * x + y));
    a.Resize(2, 3, 99.0f);
    ASSERT_EQ(a.ColumnCount(), 2u);
    ASSERT_EQ(a.RowCount(), 3u);
    for (int x = 0; x < 2; ++x)
        for (int y = 0; y < 3; ++y) EXPECT_EQ(a.Get(x, y), static_cast<float>(10 * x + y));
}

TEST(BArrayShape, NoColumnsMeansNoRows) {
    TestHost host;
    BArray<float> a;
    a.Resize(0, 4, 2.0f);
    EXPECT_EQ(a.ColumnCount(), 0u);
    EXPECT_EQ(a.RowCount(), 0u);
    EXPECT_EQ(a.Get(0, 0), 0.0f);
    EXPECT_EQ(Modules(host), std::vector<std::string>{"BArray"});
    // Growing again from nothing works.
    a.Resize(2, 2, 3.0f);
    EXPECT_EQ(a.Get(1, 1), 3.0f);
}

TEST(BArrayAccess, SetAllAndSetReturnTheStoredCell) {
    BArray<float> a;
    a.Resize(3, 3, 0.0f);
    a.SetAll(4.0f);
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 3; ++y) EXPECT_EQ(a.Get(x, y), 4.0f);
    float& cell = a.Set(1, 2, 5.0f);
    EXPECT_EQ(cell, 5.0f);
    cell = 6.0f;  // the reference is the cell itself
    EXPECT_EQ(a.Get(1, 2), 6.0f);
    EXPECT_EQ(a.Get(2, 1), 4.0f);
}

TEST(BArrayAccess, OutOfRangeReadsAreReportedAndReadNothing) {
    TestHost host;
    BArray<float> a;
    a.Resize(3, 2, 8.0f);
    EXPECT_EQ(a.Get(static_cast<int>(a.ColumnCount()), 0), 0.0f);
    EXPECT_EQ(a.Get(0, -1), 0.0f);
    EXPECT_EQ(a.Get(-1, 0), 0.0f);
    EXPECT_EQ(a.Get(0, 2), 0.0f);
    EXPECT_EQ(Modules(host), (std::vector<std::string>{"BArray", "BArray", "BArray", "BArray"}));
    for (const auto& r : host.assertions) EXPECT_GT(r.first, 0);

    BArray<TexelRecord> t;
    t.Resize(2, 2, TexelRecord{});
    TexelRecord covered;
    covered.faceIndex = 5;
    t.SetAll(covered);
    EXPECT_EQ(t.Get(2, 0).faceIndex, -1);  // the empty record, not a neighbouring cell
}

TEST(BArrayAccess, OutOfRangeWritesAreReportedAndWriteNothing) {
    TestHost host;
    BArray<float> a;
    a.Resize(3, 2, 8.0f);
    EXPECT_EQ(a.Get(0, 0), 0.0f);  // the construction cell keeps its value through Resize
    a.SetAll(8.0f);
    a.Set(3, 0, 1.0f);
    a.Set(0, 2, 1.0f);
    a.Set(-1, 1, 1.0f);
    a.Set(1, -1, 1.0f);
    EXPECT_EQ(Modules(host), (std::vector<std::string>{"BArray", "BArray", "BArray", "BArray"}));
    ASSERT_EQ(a.ColumnCount(), 3u);
    ASSERT_EQ(a.RowCount(), 2u);
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 2; ++y) EXPECT_EQ(a.Get(x, y), 8.0f) << x << ", " << y;
    EXPECT_EQ(host.assertions.size(), 4u);
}
