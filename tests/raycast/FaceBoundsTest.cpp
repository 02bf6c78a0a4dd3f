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

// Whether the per-face test accepts the ray on the one face of `mesh`, and whether the exact ray
// point at its distance lies outside the box (widened by the ray's pad) or outside the face.
struct Probe {
    bool accepted = false, outsideBox = false, outsideFace = false;
};

Probe ProbeFace(const Mesh& mesh, const Point3& n, const BvhBox& box, const Ray& ray) {
    Probe probe;
    float t = 0.0f;
    if (!TestFace(mesh, 0, n, ray, 1e6f, false, t)) return probe;
    probe.accepted = true;
    probe.outsideBox = !ExactPointInBox(ray, t, box, RayOriginPad(ray.p));
    // The hit's barycentric weights recomputed in double: outside the exact face?
    const Point3 c0 = mesh.verts[0], c1 = mesh.verts[1], c2 = mesh.verts[2];
    const Point3 hit = ray.p + t * ray.dir;
    const double e1[3] = {double(c1.x) - c0.x, double(c1.y) - c0.y, double(c1.z) - c0.z};
    const double e2[3] = {double(c2.x) - c0.x, double(c2.y) - c0.y, double(c2.z) - c0.z};
    const double q[3] = {double(hit.x) - c0.x, double(hit.y) - c0.y, double(hit.z) - c0.z};
    const auto cross = [](const double* a, const double* b, double* r) {
        r[0] = a[1] * b[2] - a[2] * b[1];
        r[1] = a[2] * b[0] - a[0] * b[2];
        r[2] = a[0] * b[1] - a[1] * b[0];
    };
    double m[3], qe2[3], e1q[3];
    cross(e1, e2, m);
    cross(q, e2, qe2);
    cross(e1, q, e1q);
    const double m2 = m[0] * m[0] + m[1] * m[1] + m[2] * m[2];
    const double b1 = (qe2[0] * m[0] + qe2[1] * m[1] + qe2[2] * m[2]) / m2;
    const double b2 = (e1q[0] * m[0] + e1q[1] * m[1] + e1q[2] * m[2]) / m2;
    probe.outsideFace = b1 < 0.0 || b2 < 0.0 || b1 + b2 > 1.0;
    return probe;
}

TEST(FaceBounds, EveryAcceptedHitLiesInTheBoxEvenPastAnEdge) {
    // Faces from well shaped to very thin, in any orientation, placed off the origin; rays aimed
    // just past their edges and corners, by distances around what the test's rounding allows
    // there (it grows with the thinness), so that rounding decides whether they are accepted.
    // Every hit the test accepts must lie in the box; and many accepted hits must lie outside the
    // exact face, or the case would not test the margin at all.
    std::mt19937 rng(31);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    int accepted = 0, outsideFace = 0, outsideBox = 0;
    for (int shape = 0; shape < 80; ++shape) {
        const float width = std::pow(10.0f, -4.0f * u(rng));  // thinness from 1 to 10^4
        const Point3 origin{100.0f * u(rng), -50.0f * u(rng), 20.0f * u(rng)};
        const Point3 along = UnitDirection(rng);
        const Point3 side = Normalize(CrossProd(along, UnitDirection(rng)));
        const Point3 corners[3] = {origin, origin + 4.0f * along, origin + 2.0f * along + (4.0f * width) * side};
        const Mesh mesh = MakeTriangleMesh(corners[0], corners[1], corners[2]);
        const Point3 n = NormalOf(corners[0], corners[1], corners[2]);
        BvhBox box;
        if (ConservativeFaceBox(corners[0], corners[1], corners[2], n, box) != FaceReach::kBounded) continue;
        const float roundingReach = 6e-8f * 4.0f / width;  // u x thinness x edge, roughly
        for (int i = 0; i < 300; ++i) {
            const int e = i % 3;
            const Point3 a = corners[e], b = corners[(e + 1) % 3], other = corners[(e + 2) % 3];
            const float s = (i % 5 == 0) ? 0.0f : u(rng);
            // Outwards across the edge, in the face's plane.
            Point3 out = Normalize(CrossProd(b - a, n));
            if (DotProd(out, other - a) > 0.0f) out = -out;
            const float beyond = roundingReach * std::pow(10.0f, 4.0f * u(rng) - 3.0f);
            const Point3 target = ((1.0f - s) * a + s * b) + beyond * out;
            // From the front side, at every slant down to nearly grazing; every other ray from
            // close to the coordinate origin, where the ray's own pad is almost nothing and the
            // box's margins must cover the rounding alone.
            Point3 from = UnitDirection(rng);
            if (DotProd(from, n) < 0.0f) from = -from;
            Point3 start = target + (1.0f + 30.0f * u(rng)) * from;
            if (i % 2 == 1) start = 1e-3f * UnitDirection(rng);
            if (DotProd(target - start, n) >= 0.0f) continue;  // the origin is behind this face
            const Probe probe = ProbeFace(mesh, n, box, MakeRay(start, Normalize(target - start)));
            accepted += probe.accepted;
            outsideFace += probe.outsideFace;
            outsideBox += probe.outsideBox;
        }
    }
    EXPECT_EQ(outsideBox, 0);
    EXPECT_GT(accepted, 3000);
    EXPECT_GT(outsideFace, 300) << "few accepted hits fell outside their face: the margins went untested";
}

TEST(FaceBounds, EveryAcceptedHitLiesInTheBoxForRaysFromAfar) {
    // Faces lying exactly in a coordinate plane have boxes of no thickness but for the margins;
    // rays from far away carry the rounding of their origin into the plane distance, which moves
    // the hit point off the plane. The ray's own pad must cover that.
    std::mt19937 rng(32);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    int accepted = 0, outsideBox = 0;
    for (int shape = 0; shape < 40; ++shape) {
        const float z = 0.3f + u(rng);
        const Point3 c0{u(rng), u(rng), z}, c1{c0.x + 1.0f + u(rng), c0.y, z}, c2{c0.x, c0.y + 1.0f + u(rng), z};
        const Mesh mesh = MakeTriangleMesh(c0, c1, c2);
        const Point3 n = NormalOf(c0, c1, c2);
        BvhBox box;
        ASSERT_EQ(ConservativeFaceBox(c0, c1, c2, n, box), FaceReach::kBounded);
        for (int i = 0; i < 200; ++i) {
            float a = u(rng), b = u(rng);
            if (a + b > 1.0f) {
                a = 1.0f - a;
                b = 1.0f - b;
            }
            const Point3 target = ((1.0f - a - b) * c0 + a * c1) + b * c2;
            Point3 from = UnitDirection(rng);
            if (from.z < 0.05f) from.z = 0.05f + u(rng);
            const Point3 start = target + std::pow(10.0f, 2.0f + 2.0f * u(rng)) * Normalize(from);
            const Probe probe = ProbeFace(mesh, n, box, MakeRay(start, Normalize(target - start)));
            accepted += probe.accepted;
            outsideBox += probe.outsideBox;
        }
    }
    EXPECT_EQ(outsideBox, 0);
    EXPECT_GT(accepted, 4000);
}
