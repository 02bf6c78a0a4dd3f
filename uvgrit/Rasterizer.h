// Free helpers of the UV-space rasteriser: the accepted texture range, the wrap of coordinates
// just outside the unit square, the texel mapping, the clamp into the grid and the raised
// barycentric weights. GritUtility::RasterizeUvFace and DrawMarkerLine use them.
#pragma once
#include "host/Point3.h"
#include "support/BArray.h"
#include "uvgrit/TexelRecord.h"

// Texture coordinates a rasterised face may have: u and v each within [-0.001, 1.0001], both ends
// inclusive. The test is written so that NaN fails it; w is not looked at.
bool InAcceptedUvRange(const Point3& uvw);

// Wraps u and v into the unit square: below -0.00001 add 1, then above 1.0000009536743164
// subtract 1, as often as needed. w is left as it is (nothing reads it). Terminates for every
// input: NaN compares false, and a value too large for +-1 to change it is left where it is.
void WrapToUnit(Point3& uvw);

// A value below low becomes low, then a value above high becomes high.
void ClampToRange(int& value, int low, int high);

// Unclamped texel column trunc(width * u) and row trunc(height * (1 - v)), computed in double so
// that a product such as 10 * 0.7f (0.699999988...) truncates to 6, not 7. Saturates at the int
// range instead of overflowing for absurd inputs.
int TexelColumn(float u, int width);
int TexelRow(float v, int height);

// The raised weights of a texel: each component below 0.01 becomes 0.01, then each is divided by
// the sum (b0 + b1) + b2, so that they are positive and sum to 1.
Point3 RaiseWeights(const Point3& raw);

// Signed doubled area of the texel triangle, in float and in the same order as the barycentric
// weights compute it; zero exactly when those weights would divide by zero.
float TexelTriangleArea(int xA, int yA, int xB, int yB, int xC, int yC);

// A face placed on the texel grid: its corners A, B, C as clamped texel coordinates.
struct TexelTriangle {
    int xA = 0, yA = 0, xB = 0, yB = 0, xC = 0, yC = 0;
    int RowMin() const;
    int RowMax() const;
    // Whether the texel triangle has area; one without writes nothing.
    bool HasArea() const { return TexelTriangleArea(xA, yA, xB, yB, xC, yC) != 0.0f; }
};

// Places the face with texture coordinates a, b, c on a width x height grid: the accepted-range
// test, the wrap, the texel mapping and the clamp. False when a corner lies outside the accepted
// range or the grid has no cell; then the face writes nothing.
bool PlaceOnTexelGrid(int width, int height, Point3 a, Point3 b, Point3 c, TexelTriangle& t);

// The debug lines of a placed face: its three edges and the triangle, or the triangle alone when
// it has no area.
void PrintTexelTriangle(const TexelTriangle& t, int faceIndex);

// Rasterises a placed face with area into the rows rowFirst ... rowLast of the grid, leaving every
// other row untouched. Each row's result depends only on that row's cells and the face, so filling
// the rows in separate calls, in any order, gives the grid that one call over all rows gives, and
// a later face still overwrites an earlier one in every row. Writes no debug lines.
void FillTexelTriangle(BArray<TexelRecord>& grid, const TexelTriangle& t, int faceIndex, int rowFirst, int rowLast);

// The record drawn along a face's edges before its fill: uncovered, with `marker` as its weights.
TexelRecord MarkerRecord(const Point3& marker);

// The weights that mark a marker record (first component below -0.9).
inline constexpr Point3 kMarkerWeights{-1.0f, -1.0f, -1.0f};
