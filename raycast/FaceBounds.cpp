// Conservative hit boxes for faces. The bounds follow a first-order rounding analysis of the
// per-face test, with u = 2^-24 the unit roundoff of float; every constant below is several times
// what the analysis needs.
//
// In-plane error. The inside test drops axis k (the largest component of M = e1 x e2), and
// computes b1 = (q x e2)_k / M_k, b2 = (e1 x q)_k / M_k, b0 = 1 - b1 - b2 with q = H - c0. With L
// the longest edge and A = |M_k|, each numerator and M_k carry an error below 4u times the product
// of the lengths involved, so a weight that comes out >= 0 is, exactly, >= -delta with
// delta ~ (32 L^2 / A + 14) u (b0 gathers the errors of b1 and b2). A point whose projected
// weights are all >= -delta lies within 2 delta L of the face's box on the two kept axes.
//
// Off-plane error. The test finds t from the plane through c0 with the stored normal n, which
// itself is off the true normal by an angle alpha ~ (7 L^2 / |M| + 3) u. The hit point then lies
// within about 5u|c0| + 10u|origin| + 6u|H| of that plane; across the face, that plane departs
// from the true one by alpha L. On axis k those distances grow by 1 / |n_k| (>= 1/2 here), and the
// in-plane widening adds 2 delta L (|n_i| + |n_j|) / |n_k|. Finally the box must hold the exact
// ray point P + t d, not its rounded value H: another 2u(|H| + |origin|).
#include "raycast/FaceBounds.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kUnitRoundoff = 0x1p-24;
// Beyond this ratio of squared edge to projected doubled area the first-order bounds stop being
// trustworthy; such faces (angles far below a thousandth of a degree) are tested for every ray.
constexpr double kMaxThinness = 16384.0;
// Below this projected doubled area the test's products can underflow into subnormals, whose
// rounding is not relative; above this coordinate magnitude they can overflow.
constexpr double kMinArea = 1e-30;
constexpr double kMaxCoordinate = 1e17;
// An absolute floor for every pad, far above the subnormal rounding of any product.
constexpr double kPadFloor = 1e-30;

bool Finite(const Point3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }
double Len(const Point3& p) { return std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z); }

// The float below (or above) a double value, so a widened bound never rounds back inwards.
float Down(double v) { return std::nextafter(static_cast<float>(v), -INFINITY); }
float Up(double v) { return std::nextafter(static_cast<float>(v), INFINITY); }

}  // namespace

FaceReach ConservativeFaceBox(const Point3& c0, const Point3& c1, const Point3& c2, const Point3& n, BvhBox& box) {
    // d . n is NaN or +-0 for every direction: the front-face test never passes.
    if (std::isnan(n.x) || std::isnan(n.y) || std::isnan(n.z)) return FaceReach::kNever;
    if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f) return FaceReach::kNever;
    if (!Finite(n) || !Finite(c0) || !Finite(c1) || !Finite(c2)) return FaceReach::kAnywhere;

    // The same float operations as the inside test, so k and M_k are the values it sees.
    const Point3 e1 = c1 - c0;
    const Point3 e2 = c2 - c0;
    const Point3 m = CrossProd(e1, e2);
    const int k = MaxComponent(m);
    if (m[k] == 0.0f) return FaceReach::kNever;  // the inside test rejects a zero-area face
    if (!Finite(m)) return FaceReach::kAnywhere;

    const double edge = std::max({Len(e1), Len(e2), Len(c2 - c1)});
    const double area = std::fabs(double(m[k]));
    const double cornerMax = std::max({Len(c0), Len(c1), Len(c2)});
    const double nk = std::fabs(double(n[k]));
    if (!(area >= kMinArea) || cornerMax > kMaxCoordinate) return FaceReach::kAnywhere;
    const double thinness = edge * edge / area;
    if (!(thinness <= kMaxThinness) || !(nk >= 0.5)) return FaceReach::kAnywhere;

    const double u = kUnitRoundoff;
    const double delta = 128.0 * u * (thinness + 1.0);
    const double alpha = 32.0 * u * (thinness + 1.0);
    // Bounds |c0| and |H|: H stays within a fraction of an edge of the face.
    const double reach = cornerMax + 2.0 * edge;
    const double exactPoint = 8.0 * u * reach;
    const double inPlane = 3.0 * delta * edge + exactPoint + kPadFloor;
    const double offPlane = (3.0 * delta * edge + 2.0 * alpha * edge + 64.0 * u * reach) / nk + inPlane;

    for (int a = 0; a < 3; ++a) {
        const double pad = a == k ? offPlane : inPlane;
        const double lo = std::min({double(c0[a]), double(c1[a]), double(c2[a])});
        const double hi = std::max({double(c0[a]), double(c1[a]), double(c2[a])});
        box.lo[a] = Down(lo - pad);
        box.hi[a] = Up(hi + pad);
    }
    return FaceReach::kBounded;
}
