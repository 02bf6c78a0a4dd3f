// The UV-space rasteriser: one mesh face, seen in texture space, becomes covered cells of the
// texel grid. The three edges are first drawn as marker cells; then every row of the bounding box
// is filled from its leftmost to its rightmost marker with the face's index and the texel's
// barycentric weights. A later face overwrites what earlier faces left in its cells.
#include "uvgrit/Rasterizer.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "host/Assert.h"
#include "host/Point2.h"
#include "plugin/GritUtility.h"

namespace {
constexpr float kUvLow = -0.001f;
constexpr float kUvHigh = 1.0001f;
constexpr float kWrapBelow = -0.00001f;
constexpr float kWrapAbove = 1.0000009536743164f;
constexpr float kMinWeight = 0.01f;

// Positive inclusion, so that NaN is outside.
bool InRange(float c) { return c >= kUvLow && c <= kUvHigh; }

void WrapCoordinate(float& c) {
    // Each step is checked to move the value: for NaN the comparisons are false, and for an
    // infinity or a magnitude beyond 2^24 adding 1 changes nothing, so the loop ends either way.
    while (c < kWrapBelow) {
        const float next = c + 1.0f;
        if (next == c) return;
        c = next;
    }
    while (c > kWrapAbove) {
        const float next = c - 1.0f;
        if (next == c) return;
        c = next;
    }
}

int SaturateToInt(double d) {
    if (std::isnan(d)) return 0;
    if (d <= static_cast<double>(INT_MIN)) return INT_MIN;
    if (d >= static_cast<double>(INT_MAX)) return INT_MAX;
    return static_cast<int>(d);
}
}  // namespace

bool InAcceptedUvRange(const Point3& uvw) { return InRange(uvw.x) && InRange(uvw.y); }

void WrapToUnit(Point3& uvw) {
    WrapCoordinate(uvw.x);
    WrapCoordinate(uvw.y);
}

void ClampToRange(int& value, int low, int high) {
    if (value < low) value = low;
    if (value > high) value = high;
}

int TexelColumn(float u, int width) {
    return SaturateToInt(std::trunc(static_cast<double>(width) * static_cast<double>(u)));
}

int TexelRow(float v, int height) {
    return SaturateToInt(std::trunc(static_cast<double>(height) * (1.0 - static_cast<double>(v))));
}

Point3 RaiseWeights(const Point3& raw) {
    Point3 b = raw;
    if (b.x < kMinWeight) b.x = kMinWeight;
    if (b.y < kMinWeight) b.y = kMinWeight;
    if (b.z < kMinWeight) b.z = kMinWeight;
    const float sum = (b.x + b.y) + b.z;
    return {b.x / sum, b.y / sum, b.z / sum};
}

float TexelTriangleArea(int xA, int yA, int xB, int yB, int xC, int yC) {
    const float x0 = static_cast<float>(xA), y0 = static_cast<float>(yA);
    const float x1 = static_cast<float>(xB), y1 = static_cast<float>(yB);
    const float x2 = static_cast<float>(xC), y2 = static_cast<float>(yC);
    return (x1 - x0) * (y2 - y0) - (x2 - x0) * (y1 - y0);
}

TexelRecord MarkerRecord(const Point3& marker) {
    TexelRecord r;
    r.faceIndex = -1;
    r.weights = marker;
    r.rawWeights = Point3{};
    return r;
}

int TexelTriangle::RowMin() const { return std::min({yA, yB, yC}); }
int TexelTriangle::RowMax() const { return std::max({yA, yB, yC}); }

bool PlaceOnTexelGrid(int width, int height, Point3 a, Point3 b, Point3 c, TexelTriangle& t) {
    if (!InAcceptedUvRange(a) || !InAcceptedUvRange(b) || !InAcceptedUvRange(c)) return false;
    if (width < 1 || height < 1) return false;  // an empty grid has no cell to cover

    WrapToUnit(a);
    WrapToUnit(b);
    WrapToUnit(c);

    t.xA = TexelColumn(a.x, width), t.yA = TexelRow(a.y, height);
    t.xB = TexelColumn(b.x, width), t.yB = TexelRow(b.y, height);
    t.xC = TexelColumn(c.x, width), t.yC = TexelRow(c.y, height);
    ClampToRange(t.xA, 0, width - 1);
    ClampToRange(t.yA, 0, height - 1);
    ClampToRange(t.xB, 0, width - 1);
    ClampToRange(t.yB, 0, height - 1);
    ClampToRange(t.xC, 0, width - 1);
    ClampToRange(t.yC, 0, height - 1);
    return true;
}

void PrintTexelTriangle(const TexelTriangle& t, int faceIndex) {
    // A texel triangle without area draws no edges, but its corners still go to the debug output
    // so that a missing face can be traced.
    if (t.HasArea()) {
        DebugPrint("DRAWLINE : %d, %d  -> %d, %d\n", t.xA, t.yA, t.xB, t.yB);
        DebugPrint("DRAWLINE : %d, %d  -> %d, %d\n", t.xA, t.yA, t.xC, t.yC);
        DebugPrint("DRAWLINE : %d, %d  -> %d, %d\n", t.xC, t.yC, t.xB, t.yB);
    }
    DebugPrint("TRIANGLE %d: (%d, %d), (%d, %d), (%d, %d)\n", faceIndex, t.xA, t.yA, t.xB, t.yB, t.xC, t.yC);
}

namespace {
// The marker cells of the line (x0, y0) -> (x1, y1) that lie in the rows rowFirst ... rowLast.
// Axis-aligned lines stop short of their end cell and a line whose ends coincide writes nothing;
// any other line is walked with Bresenham from end to end, both ends written.
void PlotMarkerLine(int x0, int y0, int x1, int y1, BArray<TexelRecord>& grid, const TexelRecord& record, int rowFirst,
                    int rowLast) {
    const auto inRows = [&](int y) { return y >= rowFirst && y <= rowLast; };
    if (x0 == x1) {
        const int step = y0 <= y1 ? 1 : -1;
        for (int y = y0; y != y1; y += step)
            if (inRows(y)) grid.Set(x0, y, record);
        return;
    }
    if (y0 == y1) {
        if (!inRows(y0)) return;
        const int step = x0 <= x1 ? 1 : -1;
        for (int x = x0; x != x1; x += step) grid.Set(x, y0, record);
        return;
    }

    // A steep line is walked along y with the axes exchanged.
    const bool steep = std::abs(x0 - x1) < std::abs(y0 - y1);
    if (steep) {
        std::swap(x0, y0);
        std::swap(x1, y1);
    }
    if (x0 > x1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    }
    const int dx = x1 - x0;
    const int dy = std::abs(y1 - y0);
    const int incE = 2 * dy;
    const int incNE = 2 * (dy - dx);
    const int yStep = y1 > y0 ? 1 : -1;
    int d = 2 * dy - dx;
    int x = x0, y = y0;

    auto plot = [&](int px, int py) {
        if (steep) {
            if (inRows(px)) grid.Set(py, px, record);
        } else if (inRows(py)) {
            grid.Set(px, py, record);
        }
    };
    plot(x, y);
    while (x < x1) {
        if (d < 0) {
            d += incE;
        } else {
            d += incNE;
            y += yStep;
        }
        ++x;
        plot(x, y);
    }
}
}  // namespace

void FillTexelTriangle(BArray<TexelRecord>& grid, const TexelTriangle& t, int faceIndex, int rowFirst, int rowLast) {
    if (!t.HasArea()) return;
    const int xMin = std::min({t.xA, t.xB, t.xC}), xMax = std::max({t.xA, t.xB, t.xC});
    const int yMin = std::max(t.RowMin(), rowFirst), yMax = std::min(t.RowMax(), rowLast);
    if (yMin > yMax) return;

    const TexelRecord marker = MarkerRecord(kMarkerWeights);
    PlotMarkerLine(t.xA, t.yA, t.xB, t.yB, grid, marker, yMin, yMax);
    PlotMarkerLine(t.xA, t.yA, t.xC, t.yC, grid, marker, yMin, yMax);
    PlotMarkerLine(t.xC, t.yC, t.xB, t.yB, grid, marker, yMin, yMax);

    const Point2 pA(static_cast<float>(t.xA), static_cast<float>(t.yA));
    const Point2 pB(static_cast<float>(t.xB), static_cast<float>(t.yB));
    const Point2 pC(static_cast<float>(t.xC), static_cast<float>(t.yC));

    for (int y = yMin; y <= yMax; ++y) {
        int left = -1, right = -1;
        for (int x = xMin; x <= xMax; ++x) {
            if (grid.Get(x, y).IsMarker()) {
                left = x;
                break;
            }
        }
        for (int x = xMax; x >= xMin; --x) {
            if (grid.Get(x, y).IsMarker()) {
                right = x;
                break;
            }
        }
        if (left < 0 || right < 0) continue;  // a row without a marker is left alone

        // The fill covers every marker of the row, so none is left for a later face to find.
        for (int x = left; x <= right; ++x) {
            TexelRecord record;
            record.faceIndex = faceIndex;
            record.rawWeights = BaryCoords(pA, pB, pC, Point2(static_cast<float>(x), static_cast<float>(y)));
            record.weights = RaiseWeights(record.rawWeights);
            grid.Set(x, y, record);
        }
    }
}

void GritUtility::RasterizeUvFace(BArray<TexelRecord>& grid, Point3 a, Point3 b, Point3 c, int faceIndex) {
    const int width = static_cast<int>(std::min<unsigned>(grid.ColumnCount(), INT_MAX));
    const int height = static_cast<int>(std::min<unsigned>(grid.RowCount(), INT_MAX));
    TexelTriangle t;
    if (!PlaceOnTexelGrid(width, height, a, b, c, t)) return;
    // A texel triangle without area writes nothing, not even its edges: marker cells left behind
    // would be taken for the edges of a later face.
    PrintTexelTriangle(t, faceIndex);
    FillTexelTriangle(grid, t, faceIndex, 0, height - 1);
}

void GritUtility::DrawMarkerLine(int x0, int y0, int x1, int y1, BArray<TexelRecord>& grid, const Point3& marker) {
    DebugPrint("DRAWLINE : %d, %d  -> %d, %d\n", x0, y0, x1, y1);
    PlotMarkerLine(x0, y0, x1, y1, grid, MarkerRecord(marker), INT_MIN, INT_MAX);
}
