// Free helpers of the UV-space rasteriser: the accepted texture range, the wrap of coordinates
// just outside the unit square, the texel mapping, the clamp into the grid and the raised
// barycentric weights. GritUtility::RasterizeUvFace and DrawMarkerLine use them.
#pragma once
#include "host/Point3.h"
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

// The record drawn along a face's edges before its fill: uncovered, with `marker` as its weights.
TexelRecord MarkerRecord(const Point3& marker);

// The weights that mark a marker record (first component below -0.9).
inline constexpr Point3 kMarkerWeights{-1.0f, -1.0f, -1.0f};
