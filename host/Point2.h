// Two single-precision floats: texel coordinates of the UV rasteriser.
#pragma once
#include "host/Point3.h"

class Point2 {
public:
    float x = 0.0f, y = 0.0f;
    constexpr Point2() = default;
    constexpr Point2(float ax, float ay) : x(ax), y(ay) {}
    constexpr bool operator==(const Point2& b) const { return x == b.x && y == b.y; }
};

// Barycentric weights (b0, b1, b2) of p in the triangle p0 p1 p2, each a signed sub-area over the
// whole area, all in float. A zero-area triangle has no weights; callers must not ask for them
// (the result would be a division by zero).
Point3 BaryCoords(const Point2& p0, const Point2& p1, const Point2& p2, const Point2& p);
