// The UV-space rasteriser: texel mapping, accepted range and wrap, edge markers, span fill and
// weights, overlap and degenerate faces, and its debug lines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>

#include "plugin/GritUtility.h"
#include "tests/common/TestHost.h"
#include "tests/uvgrit/UvTestSupport.h"
#include "uvgrit/Rasterizer.h"

namespace {
using Cell = std::pair<int, int>;

Point3 Uv(float u, float v) { return Point3(u, v, 0.0f); }

std::vector<std::string> LinesStartingWith(const TestHost& host, const std::string& prefix) {
    std::vector<std::string> lines;
    for (const auto& l : host.debugLines)
        if (l.rfind(prefix, 0) == 0) lines.push_back(l);
    return lines;
}

class Rasterizer : public testing::Test {
protected:
    TestHost host;
    GritUtility utility;
};

TEST(RasterizerMapping, TexelCoordinatesTruncateInDoubleAndClampIntoTheGrid) {
    // 10 * 0.7f is 7 in float but 6.99999988... in double: the column is 6.
    EXPECT_EQ(TexelColumn(0.7f, 10), 6);
    EXPECT_EQ(TexelColumn(1.0f, 10), 10);  // clamped to 9 afterwards
    EXPECT_EQ(TexelRow(0.0f, 10), 10);
    EXPECT_EQ(TexelRow(1.0f, 10), 0);
    EXPECT_EQ(TexelColumn(-0.000005f, 10), 0);  // truncation toward zero, not floor
    EXPECT_EQ(TexelColumn(std::numeric_limits<float>::quiet_NaN(), 10), 0);
    EXPECT_EQ(TexelColumn(1e30f, 10), std::numeric_limits<int>::max());

    int v = -3;
    ClampToRange(v, 0, 9);
    EXPECT_EQ(v, 0);
    v = 12;
    ClampToRange(v, 0, 9);
    EXPECT_EQ(v, 9);
    v = 4;
    ClampToRange(v, 0, 9);
    EXPECT_EQ(v, 4);
}

TEST(RasterizerMapping, AcceptedRangeIsInclusiveAndRejectsNaN) {
    EXPECT_TRUE(InAcceptedUvRange(Uv(-0.001f, 1.0001f)));
    EXPECT_TRUE(InAcceptedUvRange(Point3(0.5f, 0.5f, 1e30f)));  // w is not looked at
    EXPECT_FALSE(InAcceptedUvRange(Uv(1.0002f, 0.5f)));
    EXPECT_FALSE(InAcceptedUvRange(Uv(0.5f, -0.002f)));
    EXPECT_FALSE(InAcceptedUvRange(Uv(std::numeric_limits<float>::quiet_NaN(), 0.5f)));
    EXPECT_FALSE(InAcceptedUvRange(Uv(0.5f, std::numeric_limits<float>::quiet_NaN())));
    EXPECT_FALSE(InAcceptedUvRange(Uv(std::numeric_limits<float>::infinity(), 0.5f)));
}

TEST(RasterizerMapping, WrapMovesNearMissesAcrossAndTerminatesOnAnything) {
    Point3 p(-0.0005f, 1.00005f, 7.5f);
    WrapToUnit(p);
    EXPECT_FLOAT_EQ(p.x, 0.9995f);
    EXPECT_NEAR(p.y, 0.00005f, 1e-7f);
    EXPECT_EQ(p.z, 7.5f);  // w stays

    Point3 kept(-0.000005f, 1.0000009f, 0.0f);
    WrapToUnit(kept);
    EXPECT_EQ(kept.x, -0.000005f);
    EXPECT_EQ(kept.y, 1.0000009f);

    const float inf = std::numeric_limits<float>::infinity();
    Point3 wild(-inf, 1e30f, std::numeric_limits<float>::quiet_NaN());
    WrapToUnit(wild);  // must return
    EXPECT_EQ(wild.x, -inf);
    EXPECT_EQ(wild.y, 1e30f);
    Point3 nan(std::numeric_limits<float>::quiet_NaN(), inf, 0.0f);
    WrapToUnit(nan);
    EXPECT_TRUE(std::isnan(nan.x));
}

TEST_F(Rasterizer, CornersAtTheMapEdgesLandInTheOuterTexels) {
    BArray<TexelRecord> grid = EmptyGrid(10, 10);
    utility.RasterizeUvFace(grid, Uv(1.0f, 0.0f), Uv(1.0f, 1.0f), Uv(0.0f, 1.0f), 3);
    EXPECT_EQ(LinesStartingWith(host, "TRIANGLE"),
              std::vector<std::string>{"TRIANGLE 3: (9, 9), (9, 0), (0, 0)\n"});
    EXPECT_EQ(grid.Get(9, 9).faceIndex, 3);
    EXPECT_EQ(grid.Get(0, 0).faceIndex, 3);
    EXPECT_EQ(grid.Get(0, 9).faceIndex, -1);
    EXPECT_TRUE(host.assertions.empty());
}

TEST_F(Rasterizer, DebugLinesNameEdgesThenTriangle) {
    BArray<TexelRecord> grid = EmptyGrid(10, 10);
    utility.RasterizeUvFace(grid, Uv(0.0f, 1.0f), Uv(0.7f, 1.0f), Uv(0.0f, 0.5f), 4);
    const std::vector<std::string> expected = {
        "DRAWLINE : 0, 0  -> 6, 0\n",
        "DRAWLINE : 0, 0  -> 0, 5\n",
        "DRAWLINE : 0, 5  -> 6, 0\n",
        "TRIANGLE 4: (0, 0), (6, 0), (0, 5)\n",
    };
    EXPECT_EQ(host.debugLines, expected);
    EXPECT_EQ(grid.Get(6, 0).faceIndex, 4);
    EXPECT_EQ(grid.Get(7, 0).faceIndex, -1);
}

TEST_F(Rasterizer, FacesOutsideTheAcceptedRangeWriteNothing) {
    BArray<TexelRecord> grid = EmptyGrid(10, 10);
    utility.RasterizeUvFace(grid, Uv(1.0002f, 0.5f), Uv(0.1f, 0.1f), Uv(0.5f, 0.9f), 0);
    utility.RasterizeUvFace(grid, Uv(0.5f, 0.5f), Uv(0.1f, -0.002f), Uv(0.5f, 0.9f), 1);
    utility.RasterizeUvFace(grid, Uv(0.5f, 0.5f), Uv(0.1f, 0.1f), Uv(std::numeric_limits<float>::quiet_NaN(), 0.9f), 2);
    EXPECT_EQ(CoveredCount(grid), 0);
    EXPECT_TRUE(host.debugLines.empty());
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 10; ++y) ASSERT_FALSE(grid.Get(x, y).IsMarker());
}

TEST_F(Rasterizer, SlightlyNegativeUWrapsAcrossTheMapButTinyOnesStay) {
    BArray<TexelRecord> grid = EmptyGrid(10, 10);
    utility.RasterizeUvFace(grid, Uv(-0.0005f, 1.0f), Uv(0.2f, 1.0f), Uv(0.2f, 0.5f), 0);
    utility.RasterizeUvFace(grid, Uv(-0.000005f, 0.0f), Uv(0.2f, 0.0f), Uv(0.2f, 0.25f), 1);
    EXPECT_EQ(LinesStartingWith(host, "TRIANGLE"),
              (std::vector<std::string>{"TRIANGLE 0: (9, 0), (2, 0), (2, 5)\n",
                                        "TRIANGLE 1: (0, 9), (2, 9), (2, 7)\n"}));
    // The wrapped face stretches from column 9 back to column 2.
    EXPECT_EQ(grid.Get(5, 0).faceIndex, 0);
    EXPECT_EQ(grid.Get(0, 9).faceIndex, 1);
}

TEST_F(Rasterizer, RightTriangleCoversExactlyTheLowerTriangleButItsOpenCorner) {
    BArray<TexelRecord> grid = EmptyGrid(11, 11);
    // Corners on texels A (0, 0), B (10, 0), C (10, 10).
    utility.RasterizeUvFace(grid, Uv(0.0f, 1.0f), Uv(1.0f, 1.0f), Uv(1.0f, 0.0f), 7);
    std::set<Cell> expected;
    for (int y = 0; y <= 10; ++y)
        for (int x = y; x <= 10; ++x)
            if (!(x == 10 && y == 0)) expected.insert({x, y});
    const auto cells = CellsOfFace(grid, 7);
    EXPECT_EQ(std::set<Cell>(cells.begin(), cells.end()), expected);
    EXPECT_EQ(CoveredCount(grid), int(expected.size()));
    for (int x = 0; x < 11; ++x)
        for (int y = 0; y < 11; ++y) ASSERT_FALSE(grid.Get(x, y).IsMarker()) << x << "," << y;
}

TEST_F(Rasterizer, DegenerateTexelTrianglesWriteNothing) {
    BArray<TexelRecord> grid = EmptyGrid(10, 10);
    // Three corners inside texel (0, 0).
    utility.RasterizeUvFace(grid, Uv(0.01f, 0.99f), Uv(0.02f, 0.98f), Uv(0.015f, 0.985f), 0);
    // Three collinear corners along the diagonal.
    utility.RasterizeUvFace(grid, Uv(0.0f, 1.0f), Uv(0.55f, 0.45f), Uv(0.95f, 0.05f), 1);
    EXPECT_EQ(CoveredCount(grid), 0);
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 10; ++y) ASSERT_FALSE(grid.Get(x, y).IsMarker()) << x << "," << y;
    // Only the corners are reported; no edge is drawn.
    EXPECT_EQ(host.debugLines, (std::vector<std::string>{"TRIANGLE 0: (0, 0), (0, 0), (0, 0)\n",
                                                         "TRIANGLE 1: (0, 0), (5, 5), (9, 9)\n"}));

    // A later face next to the collinear one is filled only within its own edges.
    utility.RasterizeUvFace(grid, Uv(0.0f, 0.0f), Uv(0.3f, 0.0f), Uv(0.0f, 0.3f), 2);
    ASSERT_FALSE(CellsOfFace(grid, 2).empty());
    for (const auto& [x, y] : CellsOfFace(grid, 2)) EXPECT_LE(x, 3) << y;
}

TEST_F(Rasterizer, LaterFaceOwnsTheOverlapAndTheSharedEdge) {
    BArray<TexelRecord> grid = EmptyGrid(10, 10);
    // Two halves of the map square sharing the diagonal from (0, 9) to (9, 0).
    utility.RasterizeUvFace(grid, Uv(0.0f, 0.0f), Uv(1.0f, 0.0f), Uv(1.0f, 1.0f), 0);
    utility.RasterizeUvFace(grid, Uv(0.0f, 0.0f), Uv(1.0f, 1.0f), Uv(0.0f, 1.0f), 1);
    for (int k = 0; k < 10; ++k) EXPECT_EQ(grid.Get(k, 9 - k).faceIndex, 1) << k;
    EXPECT_EQ(grid.Get(9, 8).faceIndex, 0);
    EXPECT_EQ(grid.Get(0, 0).faceIndex, 1);
    // (9, 9) is where face 0's two axis-aligned edges end, so nothing covers it.
    EXPECT_EQ(grid.Get(9, 9).faceIndex, -1);
    EXPECT_EQ(CoveredCount(grid), 99);

    // A small face inside both takes its texels from them.
    utility.RasterizeUvFace(grid, Uv(0.4f, 0.4f), Uv(0.6f, 0.4f), Uv(0.4f, 0.6f), 2);
    EXPECT_EQ(grid.Get(4, 5).faceIndex, 2);
    EXPECT_EQ(grid.Get(3, 5).faceIndex, 1);
}

TEST_F(Rasterizer, EdgeTexelsKeepNegativeRawWeightsAndGetRaisedWeights) {
    BArray<TexelRecord> grid = EmptyGrid(10, 10);
    // Texel corners A (0, 0), B (9, 4), C (0, 8). Bresenham puts (1, 0) on edge AB although it
    // lies below the exact edge, outside the triangle.
    utility.RasterizeUvFace(grid, Uv(0.0f, 1.0f), Uv(0.95f, 0.55f), Uv(0.0f, 0.15f), 0);
    ASSERT_EQ(LinesStartingWith(host, "TRIANGLE"), std::vector<std::string>{"TRIANGLE 0: (0, 0), (9, 4), (0, 8)\n"});
    const TexelRecord r = grid.Get(1, 0);
    ASSERT_EQ(r.faceIndex, 0);
    EXPECT_NEAR(r.rawWeights.x, 68.0f / 72.0f, 1e-6f);
    EXPECT_NEAR(r.rawWeights.y, 8.0f / 72.0f, 1e-6f);
    EXPECT_NEAR(r.rawWeights.z, -4.0f / 72.0f, 1e-6f);
    const float sum = 68.0f / 72.0f + 8.0f / 72.0f + 0.01f;
    EXPECT_NEAR(r.weights.z, 0.01f / sum, 1e-6f);
    EXPECT_NEAR(r.weights.x, (68.0f / 72.0f) / sum, 1e-6f);

    // Every filled texel: raised weights positive and summing to 1; raw weights summing to 1.
    int negativeRaw = 0;
    for (const auto& [x, y] : CellsOfFace(grid, 0)) {
        const TexelRecord t = grid.Get(x, y);
        EXPECT_GE(t.weights.x, 0.0f);
        EXPECT_GE(t.weights.y, 0.0f);
        EXPECT_GE(t.weights.z, 0.0f);
        EXPECT_NEAR((t.weights.x + t.weights.y) + t.weights.z, 1.0f, 1e-6f);
        EXPECT_NEAR((t.rawWeights.x + t.rawWeights.y) + t.rawWeights.z, 1.0f, 1e-5f);
        negativeRaw += (t.rawWeights.x < 0 || t.rawWeights.y < 0 || t.rawWeights.z < 0) ? 1 : 0;
    }
    EXPECT_GE(negativeRaw, 1);

    // The corner texel A has raw weights (1, 0, 0) exactly.
    EXPECT_EQ(grid.Get(0, 0).rawWeights, Point3(1.0f, 0.0f, 0.0f));
}

TEST(RasterizerWeights, RaisingLiftsSmallComponentsAndNormalises) {
    const Point3 w = RaiseWeights(Point3(1.0f, 0.0f, 0.0f));
    EXPECT_FLOAT_EQ(w.x, 1.0f / 1.02f);
    EXPECT_FLOAT_EQ(w.y, 0.01f / 1.02f);
    EXPECT_FLOAT_EQ(w.z, 0.01f / 1.02f);
    const Point3 even = RaiseWeights(Point3(0.25f, 0.25f, 0.5f));
    EXPECT_EQ(even, Point3(0.25f, 0.25f, 0.5f));
}

TEST_F(Rasterizer, EmptyGridTakesNoFaceAndReportsNothing) {
    BArray<TexelRecord> grid;
    grid.Resize(0, 0, TexelRecord{});
    utility.RasterizeUvFace(grid, Uv(0.0f, 0.0f), Uv(1.0f, 0.0f), Uv(0.0f, 1.0f), 0);
    EXPECT_TRUE(host.assertions.empty());
    EXPECT_TRUE(host.debugLines.empty());
}

TEST_F(Rasterizer, MarkerLinesStopShortOnAxesAndWriteBothEndsOtherwise) {
    BArray<TexelRecord> grid = EmptyGrid(8, 8);
    const Point3 marker(-1.0f, -1.0f, -1.0f);
    auto markers = [&] {
        std::set<Cell> cells;
        for (int x = 0; x < 8; ++x)
            for (int y = 0; y < 8; ++y)
                if (grid.Get(x, y).IsMarker()) cells.insert({x, y});
        return cells;
    };

    utility.DrawMarkerLine(2, 5, 2, 2, grid, marker);  // vertical, upwards
    EXPECT_EQ(markers(), (std::set<Cell>{{2, 5}, {2, 4}, {2, 3}}));
    grid = EmptyGrid(8, 8);
    utility.DrawMarkerLine(1, 1, 4, 1, grid, marker);  // horizontal
    EXPECT_EQ(markers(), (std::set<Cell>{{1, 1}, {2, 1}, {3, 1}}));
    grid = EmptyGrid(8, 8);
    utility.DrawMarkerLine(3, 3, 3, 3, grid, marker);  // a point
    EXPECT_TRUE(markers().empty());
    grid = EmptyGrid(8, 8);
    utility.DrawMarkerLine(0, 0, 6, 2, grid, marker);  // shallow
    EXPECT_EQ(markers(), (std::set<Cell>{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 2}}));
    grid = EmptyGrid(8, 8);
    utility.DrawMarkerLine(1, 6, 2, 1, grid, marker);  // steep, drawn from its lower end
    EXPECT_EQ(markers(), (std::set<Cell>{{2, 1}, {2, 2}, {2, 3}, {1, 4}, {1, 5}, {1, 6}}));

    const TexelRecord r = grid.Get(1, 6);
    EXPECT_EQ(r.faceIndex, -1);
    EXPECT_EQ(r.weights, marker);
    EXPECT_EQ(r.rawWeights, Point3());
    EXPECT_EQ(host.debugLines.back(), "DRAWLINE : 1, 6  -> 2, 1\n");
}
}  // namespace
