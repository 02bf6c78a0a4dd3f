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

void GritUtility::RasterizeUvFace(BArray<TexelRecord>& grid, Point3 a, Point3 b, Point3 c, int faceIndex) {
    if (!InAcceptedUvRange(a) || !InAcceptedUvRange(b) || !InAcceptedUvRange(c)) return;

    const int width = static_cast<int>(std::min<unsigned>(grid.ColumnCount(), INT_MAX));
    const int height = static_cast<int>(std::min<unsigned>(grid.RowCount(), INT_MAX));
    if (width < 1 || height < 1) return;  // an empty grid has no cell to cover

    WrapToUnit(a);
    WrapToUnit(b);
    WrapToUnit(c);

    int xA = TexelColumn(a.x, width), yA = TexelRow(a.y, height);
    int xB = TexelColumn(b.x, width), yB = TexelRow(b.y, height);
    int xC = TexelColumn(c.x, width), yC = TexelRow(c.y, height);
    ClampToRange(xA, 0, width - 1);
    ClampToRange(yA, 0, height - 1);
    ClampToRange(xB, 0, width - 1);
    ClampToRange(yB, 0, height - 1);
    ClampToRange(xC, 0, width - 1);
    ClampToRange(yC, 0, height - 1);

    // A texel triangle without area has no barycentric weights. It writes nothing, not even its
    // edges: marker cells left behind would be taken for the edges of a later face. Its corners
    // still go to the debug output so that a missing face can be traced.
    if (TexelTriangleArea(xA, yA, xB, yB, xC, yC) == 0.0f) {
        DebugPrint("TRIANGLE %d: (%d, %d), (%d, %d), (%d, %d)\n", faceIndex, xA, yA, xB, yB, xC, yC);
        return;
    }

    const int xMin = std::min({xA, xB, xC}), xMax = std::max({xA, xB, xC});
    const int yMin = std::min({yA, yB, yC}), yMax = std::max({yA, yB, yC});

    DrawMarkerLine(xA, yA, xB, yB, grid, kMarkerWeights);
    DrawMarkerLine(xA, yA, xC, yC, grid, kMarkerWeights);
    DrawMarkerLine(xC, yC, xB, yB, grid, kMarkerWeights);
    DebugPrint("TRIANGLE %d: (%d, %d), (%d, %d), (%d, %d)\n", faceIndex, xA, yA, xB, yB, xC, yC);

    const Point2 pA(static_cast<float>(xA), static_cast<float>(yA));
    const Point2 pB(static_cast<float>(xB), static_cast<float>(yB));
    const Point2 pC(static_cast<float>(xC), static_cast<float>(yC));

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

        for (int x = left; x <= right; ++x) {
            TexelRecord record;
            record.faceIndex = faceIndex;
            record.rawWeights = BaryCoords(pA, pB, pC, Point2(static_cast<float>(x), static_cast<float>(y)));
            record.weights = RaiseWeights(record.rawWeights);
            grid.Set(x, y, record);
        }
    }
}

void GritUtility::DrawMarkerLine(int x0, int y0, int x1, int y1, BArray<TexelRecord>& grid, const Point3& marker) {
    DebugPrint("DRAWLINE : %d, %d  -> %d, %d\n", x0, y0, x1, y1);
    const TexelRecord record = MarkerRecord(marker);

    // Axis-aligned lines stop short of their end cell; a line whose ends coincide writes nothing.
    if (x0 == x1) {
        const int step = y0 <= y1 ? 1 : -1;
        for (int y = y0; y != y1; y += step) grid.Set(x0, y, record);
        return;
    }
    if (y0 == y1) {
        const int step = x0 <= x1 ? 1 : -1;
        for (int x = x0; x != x1; x += step) grid.Set(x, y0, record);
        return;
    }

    // Bresenham, both ends written. A steep line is walked along y with the axes exchanged.
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
        if (steep)
            grid.Set(py, px, record);
        else
            grid.Set(px, py, record);
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
