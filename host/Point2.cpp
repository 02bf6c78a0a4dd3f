#include "host/Point2.h"

// Each weight is the signed area of the sub-triangle opposite its corner over the signed area of
// the whole triangle. Every product and difference is a float operation in the order written, so
// the weights are the same on every build.
Point3 BaryCoords(const Point2& p0, const Point2& p1, const Point2& p2, const Point2& p) {
    const float area = (p1.x - p0.x) * (p2.y - p0.y) - (p2.x - p0.x) * (p1.y - p0.y);
    const float b0 = ((p1.x - p.x) * (p2.y - p.y) - (p2.x - p.x) * (p1.y - p.y)) / area;
    const float b1 = ((p2.x - p.x) * (p0.y - p.y) - (p0.x - p.x) * (p2.y - p.y)) / area;
    const float b2 = ((p0.x - p.x) * (p1.y - p.y) - (p1.x - p.x) * (p0.y - p.y)) / area;
    return {b0, b1, b2};
}
