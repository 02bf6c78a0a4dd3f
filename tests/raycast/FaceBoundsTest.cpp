// Face boxes: which faces need none, which cannot have one, and that every hit the per-face test
// accepts lies inside the box (widened by the ray's own pad), even where rounding lets the test
// accept points past an edge of a thin face.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "raycast/FaceBounds.h"
#include "raycast/IntersectRay.h"
#include "tests/common/TestMeshes.h"
#include "tests/raycast/RayQueryDiff.h"

namespace {

Point3 NormalOf(const Point3& c0, const Point3& c1, const Point3& c2) { return Normalize(CrossProd(c1 - c0, c2 - c1)); }

FaceReach Classify(const Point3& c0, const Point3& c1, const Point3& c2, BvhBox& box) {
    return ConservativeFaceBox(c0, c1, c2, NormalOf(c0, c1, c2), box);
}

// Whether the exact point p + t d (in double) lies in the box widened by `pad`.
bool ExactPointInBox(const Ray& ray, float t, const BvhBox& box, float pad) {
    for (int a = 0; a < 3; ++a) {
        const double x = double(ray.p[a]) + double(t) * double(ray.dir[a]);
        if (x < double(box.lo[a]) - pad || x > double(box.hi[a]) + pad) return false;
    }
    return true;
}

}  // namespace

TEST(FaceBounds, ClassifiesFacesTheTestCanNeverAcceptOrCannotBound) {
    BvhBox box;
    const Point3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};
    EXPECT_EQ(ConservativeFaceBox(a, b, c, Point3{}, box), FaceReach::kNever);  // zero normal
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(ConservativeFaceBox(a, b, c, Point3{nan, 0, 1}, box), FaceReach::kNever);
    EXPECT_EQ(ConservativeFaceBox(a, a, c, Point3{0, 0, 1}, box), FaceReach::kNever);  // zero area
    EXPECT_EQ(ConservativeFaceBox(a, b, Point3{3, 0, 0}, Point3{0, 0, 1}, box), FaceReach::kNever);

    EXPECT_EQ(ConservativeFaceBox(a, b, Point3{0, inf, 0}, Point3{0, 0, 1}, box), FaceReach::kAnywhere);
    EXPECT_EQ(ConservativeFaceBox(a, b, c, Point3{0, 0, inf}, box), FaceReach::kAnywhere);
    // Far too thin for the rounding bounds to hold.
    EXPECT_EQ(Classify(a, Point3{1, 0, 0}, Point3{0.5f, 1e-6f, 0}, box), FaceReach::kAnywhere);
    // A normal far from the face's own, as a broken normal table would give.
    EXPECT_EQ(ConservativeFaceBox(a, b, c, Point3{1, 0, 0}, box), FaceReach::kAnywhere);
}

TEST(FaceBounds, BoxesHoldTheFaceWithOnlyARoundingMargin) {
    BvhBox box;
    const Point3 c0{2, 3, 4}, c1{5, 3, 4.5f}, c2{2, 7, 5};
    ASSERT_EQ(Classify(c0, c1, c2, box), FaceReach::kBounded);
    for (const Point3& c : {c0, c1, c2}) {
        for (int a = 0; a < 3; ++a) {
            EXPECT_LE(box.lo[a], c[a]);
            EXPECT_GE(box.hi[a], c[a]);
        }
    }
    // A well-shaped face's box is its own box give or take a few thousandths of a percent: a box
    // that gave up (or grew with the mesh) would make the tree useless.
    EXPECT_GT(box.lo[0], 2.0f - 1e-3f);
    EXPECT_LT(box.hi[1], 7.0f + 1e-3f);
    EXPECT_GT(box.lo[2], 4.0f - 1e-3f);
    EXPECT_LT(box.hi[2], 5.0f + 1e-3f);
}

TEST(FaceBounds, EveryAcceptedHitLiesInTheBoxEvenPastAnEdge) {
    // Faces from well shaped to very thin, placed off the origin; rays aimed at points on their
    // edges and corners, nudged outwards by a few ulps, so that the test's rounding decides. Every
    // hit it accepts must lie in the box; and some accepted hits must lie outside the exact face,
    // or the case would not test the margin at all.
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> u(0.0f, 1.0f), nudge(-4e-7f, 4e-7f);
    int accepted = 0, outsideFace = 0, outsideBox = 0;
    for (int shape = 0; shape < 60; ++shape) {
        const float width = std::pow(10.0f, -4.0f * u(rng));  // thinness from 1 to 10^4
        const Point3 origin{100.0f * u(rng), -50.0f * u(rng), 20.0f * u(rng)};
        const Point3 along = UnitDirection(rng);
        const Point3 side = Normalize(CrossProd(along, UnitDirection(rng)));
        const Point3 c0 = origin, c1 = origin + 4.0f * along, c2 = origin + 2.0f * along + (4.0f * width) * side;
        Mesh mesh = MakeTriangleMesh(c0, c1, c2);
        const Point3 n = NormalOf(c0, c1, c2);
        BvhBox box;
        if (ConservativeFaceBox(c0, c1, c2, n, box) != FaceReach::kBounded) continue;
        for (int i = 0; i < 400; ++i) {
            const Point3 corners[3] = {c0, c1, c2};
            const int e = i % 3;
            const float s = (i % 5 == 0) ? 0.0f : u(rng);
            Point3 target = (1.0f - s) * corners[e] + s * corners[(e + 1) % 3];
            for (int a = 0; a < 3; ++a) target[a] += nudge(rng) * (std::fabs(target[a]) + 1.0f);
            // From the front side, at every slant down to nearly grazing.
            Point3 from = UnitDirection(rng);
            if (DotProd(from, n) < 0.0f) from = -from;
            const Point3 start = target + (1.0f + 30.0f * u(rng)) * from;
            const Ray ray = MakeRay(start, Normalize(target - start));
            float t = 0.0f;
            if (!TestFace(mesh, 0, n, ray, 1000.0f, false, t)) continue;
            accepted++;
            const Point3 hit = ray.p + t * ray.dir;
            // Recomputed in double: outside the exact face?
            const double e1x = double(c1.x) - c0.x, e1y = double(c1.y) - c0.y, e1z = double(c1.z) - c0.z;
            const double e2x = double(c2.x) - c0.x, e2y = double(c2.y) - c0.y, e2z = double(c2.z) - c0.z;
            const double qx = double(hit.x) - c0.x, qy = double(hit.y) - c0.y, qz = double(hit.z) - c0.z;
            const double mx = e1y * e2z - e1z * e2y, my = e1z * e2x - e1x * e2z, mz = e1x * e2y - e1y * e2x;
            const double m2 = mx * mx + my * my + mz * mz;
            const double b1 = ((qy * e2z - qz * e2y) * mx + (qz * e2x - qx * e2z) * my + (qx * e2y - qy * e2x) * mz) / m2;
            const double b2 = ((e1y * qz - e1z * qy) * mx + (e1z * qx - e1x * qz) * my + (e1x * qy - e1y * qx) * mz) / m2;
            if (b1 < 0.0 || b2 < 0.0 || b1 + b2 > 1.0) outsideFace++;
            if (!ExactPointInBox(ray, t, box, RayOriginPad(ray.p))) outsideBox++;
        }
    }
    EXPECT_EQ(outsideBox, 0);
    EXPECT_GT(accepted, 5000);
    EXPECT_GT(outsideFace, 50) << "no accepted hit fell outside its face: the margins went untested";
}
