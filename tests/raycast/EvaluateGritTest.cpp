// The hemisphere grit evaluator: the fan it lays out, the value it computes, and its handling of
// special inputs.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "host/Rand.h"
#include "plugin/GritUtility.h"
#include "tests/common/TestHost.h"
#include "tests/common/TestMeshes.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kBufferSize = 260;  // more than the largest fan, so untouched rays show
const Point3 kSentinel{999.0f, -999.0f, 999.0f};

double Degrees(double radians) { return radians * 180.0 / kPi; }

struct Vec {
    double x, y, z;
};
Vec ToVec(const Point3& p) { return {p.x, p.y, p.z}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(const Vec& a, const Vec& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec Unit(const Vec& a) {
    const double len = std::sqrt(Dot(a, a));
    return {a.x / len, a.y / len, a.z / len};
}

// Elevation of d above the plane perpendicular to n, and its azimuth about n measured from the
// projection of +X (of +Y when n is along X), counter-clockwise seen from the tip of n. For
// n = +Z these are the usual angles from the +X axis.
struct Angles {
    double elevation, azimuth;
};
Angles AnglesAbout(const Point3& dir, const Point3& normal) {
    const Vec n = Unit(ToVec(normal));
    const Vec d = ToVec(dir);
    Vec ref{1, 0, 0};
    if (std::fabs(n.x) > 0.9) ref = {0, 1, 0};
    const double along = Dot(ref, n);
    const Vec u = Unit({ref.x - along * n.x, ref.y - along * n.y, ref.z - along * n.z});
    const Vec w = Cross(n, u);
    return {Degrees(std::asin(std::fmax(-1.0, std::fmin(1.0, Dot(d, n))))), Degrees(std::atan2(Dot(d, w), Dot(d, u)))};
}

// a - b folded into (-180, 180].
double AngleStep(double a, double b) {
    double s = std::fmod(a - b, 360.0);
    if (s <= -180.0) s += 360.0;
    if (s > 180.0) s -= 360.0;
    return s;
}

// A mesh, a prepared utility with the given fan and distance, and a ray buffer.
struct Bench {
    Mesh mesh;
    GritUtility grit;
    std::vector<Ray> rays;

    void Prepare(int h, int v, float dist, int algorithm = ALGORITHM_VERTEX_COLORS) {
        grit.settings.horizontalSpread = h;
        grit.settings.verticalSpread = v;
        grit.settings.dist = dist;
        grit.settings.algorithm = algorithm;
        grit.BuildFaceNormals(mesh);
        grit.vertexNormals.Build(mesh);
    }
    float Evaluate(int face, const Point3& w) {
        Ray sentinel;
        sentinel.p = kSentinel;
        sentinel.dir = kSentinel;
        rays.assign(kBufferSize, sentinel);
        return grit.EvaluateGrit(mesh, face, w, rays.data());
    }
    int RaysWritten() const {
        int n = 0;
        while (n < kBufferSize && rays[static_cast<size_t>(n)].p != kSentinel) ++n;
        for (int k = n; k < kBufferSize; ++k) {
            EXPECT_EQ(rays[static_cast<size_t>(k)].dir, kSentinel) << "ray " << k << " written after a gap";
        }
        return n;
    }
};

// A floor triangle in z = 0 facing +Z whose corner 0 is at the origin; weights (1, 0, 0) put
// the sample there.
int AddFloor(Mesh& mesh, float size = 100.0f) { return AddTriangle(mesh, {0, 0, 0}, {size, 0, 0}, {0, size, 0}); }

// A small triangle facing -Z at height z over the origin: only a ray straight up meets it.
void AddLidOverOrigin(Mesh& mesh, float z) { AddTriangle(mesh, {-1, -1, z}, {-1, 2, z}, {2, -1, z}); }

const Point3 kAtCorner0{1, 0, 0};
const Point3 kCentroid{0.33333334f, 0.33333334f, 0.33333334f};

// Angles agree to this many degrees. A normal a hair off the pole turns the fan by an angle
// recovered through acos of a float cosine near 1, which costs a few thousandths of a degree.
constexpr double kAngleTolerance = 5e-3;

// Checks rays 1..H*V against the fan layout about `normal`: unit length, origin at the sample,
// ring i at elevation (i + 1) * 90 / (V + 1), consecutive azimuths (360 / (H + 1)) apart in the
// given turning sense, with the one double gap from the last azimuth back to the first. Returns
// the azimuth of ray 1.
double ExpectFan(const Bench& b, const Point3& normal, int h, int v, double turning = 1.0) {
    const Point3 origin = b.rays[0].p;
    const double spacing = 360.0 / (h + 1);
    double firstAzimuth = 0;
    for (int i = 0; i < v; ++i) {
        for (int j = 0; j < h; ++j) {
            const int k = i * h + j + 1;
            const Ray& r = b.rays[static_cast<size_t>(k)];
            EXPECT_EQ(r.p, origin) << "ray " << k;
            EXPECT_NEAR(Length(r.dir), 1.0f, 2e-6f) << "ray " << k;
            const Angles a = AnglesAbout(r.dir, normal);
            EXPECT_NEAR(a.elevation, (i + 1) * 90.0 / (v + 1), kAngleTolerance) << "ray " << k;
            if (k == 1) firstAzimuth = a.azimuth;
            if (j > 0) {
                const Angles prev = AnglesAbout(b.rays[static_cast<size_t>(k - 1)].dir, normal);
                EXPECT_NEAR(AngleStep(a.azimuth, prev.azimuth), turning * spacing, kAngleTolerance) << "ray " << k;
            } else if (i > 0) {
                // Each ring starts at the same azimuth.
                EXPECT_NEAR(AngleStep(a.azimuth, firstAzimuth), 0.0, kAngleTolerance) << "ray " << k;
            }
        }
        if (h > 1) {
            // From the last azimuth of the ring back to its first: the skipped slot makes it double.
            const Angles last = AnglesAbout(b.rays[static_cast<size_t>(i * h + h)].dir, normal);
            const Angles first = AnglesAbout(b.rays[static_cast<size_t>(i * h + 1)].dir, normal);
            EXPECT_NEAR(std::fabs(AngleStep(first.azimuth, last.azimuth)), 2 * spacing, kAngleTolerance) << "ring " << i;
        }
    }
    return firstAzimuth;
}

// Two tangents (u, w) with u x w = n: the triangle (0, u, w) then faces n.
Mesh TriangleFacing(const Point3& n) {
    const Vec nn = Unit(ToVec(n));
    Vec ref{1, 0, 0};
    if (std::fabs(nn.x) > 0.9) ref = {0, 1, 0};
    const Vec u = Unit(Cross(ref, nn));
    const Vec w = Cross(nn, u);
    return MakeTriangleMesh({0, 0, 0}, {float(u.x), float(u.y), float(u.z)}, {float(w.x), float(w.y), float(w.z)});
}

}  // namespace

TEST(EvaluateGritFan, DefaultFanAboutPlusZUsesTheLocalFrameUnchanged) {
    Bench b;
    AddFloor(b.mesh);
    b.Prepare(8, 1, 30.0f);
    EXPECT_EQ(b.grit.RayCount(), 9);
    EXPECT_EQ(b.Evaluate(0, kCentroid), 0.0f);  // nothing above the floor
    ASSERT_EQ(b.RaysWritten(), 9);
    const Point3 sample = (0.33333334f * b.mesh.verts[0] + 0.33333334f * b.mesh.verts[1]) + 0.33333334f * b.mesh.verts[2];
    EXPECT_EQ(b.rays[0].p, sample);
    EXPECT_EQ(b.rays[0].dir, Point3(0, 0, 1));
    // Elevation 45 degrees; azimuths 40, 80, ..., 320 from +X with 0 left out.
    for (int k = 1; k <= 8; ++k) {
        const Angles a = AnglesAbout(b.rays[static_cast<size_t>(k)].dir, {0, 0, 1});
        EXPECT_NEAR(a.elevation, 45.0, 1e-4) << "ray " << k;
        EXPECT_NEAR(AngleStep(a.azimuth, 40.0 * k), 0.0, 1e-4) << "ray " << k;
    }
    ExpectFan(b, {0, 0, 1}, 8, 1);
    // Each weight belongs to its corner: (0.2, 0.3, 0.5) of (0,0,0), (100,0,0), (0,100,0).
    b.Evaluate(0, {0.2f, 0.3f, 0.5f});
    EXPECT_FLOAT_EQ(b.rays[0].p.x, 30.0f);
    EXPECT_FLOAT_EQ(b.rays[0].p.y, 50.0f);
    EXPECT_EQ(b.rays[5].p, b.rays[0].p);
    // The identity frame carries (cos a cos e, sin a cos e, sin e) through unchanged.
    EXPECT_FLOAT_EQ(b.rays[1].dir.x, float(std::cos(40 * kPi / 180) * std::cos(kPi / 4)));
    EXPECT_FLOAT_EQ(b.rays[1].dir.z, float(std::sin(kPi / 4)));
}

TEST(EvaluateGritFan, RingsAndAzimuthsOfOtherSpreads) {
    Bench b;
    AddFloor(b.mesh);

    b.Prepare(4, 2, 30.0f);
    b.Evaluate(0, kCentroid);
    ASSERT_EQ(b.RaysWritten(), 9);
    for (int k = 1; k <= 8; ++k) {
        const Angles a = AnglesAbout(b.rays[static_cast<size_t>(k)].dir, {0, 0, 1});
        EXPECT_NEAR(a.elevation, k <= 4 ? 30.0 : 60.0, 1e-4) << "ray " << k;
        EXPECT_NEAR(AngleStep(a.azimuth, 72.0 * ((k - 1) % 4 + 1)), 0.0, 1e-4) << "ray " << k;
    }

    // The largest fan the panel allows: 241 rays, elevations in steps of 90/11, azimuths in
    // steps of 14.4 degrees.
    b.Prepare(24, 10, 30.0f);
    EXPECT_EQ(b.grit.RayCount(), 241);
    b.Evaluate(0, kCentroid);
    ASSERT_EQ(b.RaysWritten(), 241);
    EXPECT_NEAR(AnglesAbout(b.rays[1].dir, {0, 0, 1}).elevation, 90.0 / 11, 1e-4);
    EXPECT_NEAR(AnglesAbout(b.rays[240].dir, {0, 0, 1}).elevation, 900.0 / 11, 1e-4);
    EXPECT_NEAR(AnglesAbout(b.rays[1].dir, {0, 0, 1}).azimuth, 14.4, 1e-4);
    EXPECT_NEAR(AngleStep(AnglesAbout(b.rays[240].dir, {0, 0, 1}).azimuth, 345.6), 0.0, 1e-4);
    ExpectFan(b, {0, 0, 1}, 24, 10);
}

TEST(EvaluateGritFan, WithoutAFanOnlyTheNormalRayIsCast) {
    Bench b;
    AddFloor(b.mesh);
    AddLidOverOrigin(b.mesh, 15.0f);
    // Zero or negative spreads (a hand-edited settings file) mean no fan.
    const int spreads[][2] = {{0, 1}, {8, 0}, {0, 0}, {-3, -2}, {-1, 5}, {4, -1}};
    for (const auto& s : spreads) {
        b.Prepare(s[0], s[1], 30.0f);
        EXPECT_EQ(b.grit.RayCount(), 1) << s[0] << " x " << s[1];
        // One ray, hitting at half the distance: 2 * 15 / 30 = 1, reported as 0.99.
        EXPECT_EQ(b.Evaluate(0, kAtCorner0), 0.99f) << s[0] << " x " << s[1];
        EXPECT_EQ(b.RaysWritten(), 1) << s[0] << " x " << s[1];
        EXPECT_EQ(b.rays[0].dir, Point3(0, 0, 1));
    }
}

TEST(EvaluateGritFan, TiltedNormalCarriesTheFanAroundIt) {
    const Point3 normals[] = {Normalize({1, 2, 3}), Normalize({-0.3f, 0.1f, -0.9f}), {1, 0, 0}, {0, -1, 0},
                              Normalize({0.001f, 0, 1})};
    for (const Point3& n : normals) {
        Bench b;
        b.mesh = TriangleFacing(n);
        b.Prepare(8, 1, 30.0f);
        EXPECT_EQ(b.Evaluate(0, {0.2f, 0.3f, 0.5f}), 0.0f);
        ASSERT_EQ(b.RaysWritten(), 9);
        EXPECT_NEAR(b.rays[0].dir.x, n.x, 1e-6f);
        EXPECT_NEAR(b.rays[0].dir.y, n.y, 1e-6f);
        EXPECT_NEAR(b.rays[0].dir.z, n.z, 1e-6f);
        SCOPED_TRACE(::testing::Message() << "normal " << n.x << ", " << n.y << ", " << n.z);
        ExpectFan(b, b.rays[0].dir, 8, 1);

        b.Prepare(4, 2, 30.0f);
        b.Evaluate(0, {0.2f, 0.3f, 0.5f});
        ASSERT_EQ(b.RaysWritten(), 9);
        ExpectFan(b, b.rays[0].dir, 4, 2);
    }
}

TEST(EvaluateGritFan, NormalsNearThePolesGiveFiniteFans) {
    // Normals a few ulps off +Z or -Z: the cosine of the frame angle, formed in float, can land
    // past +-1 there.
    int checked = 0;
    for (int pole = -1; pole <= 1; pole += 2) {
        for (int i = 1; i <= 400; ++i) {
            const float tilt = float(i) * 2.5e-5f;
            const Point3 n{tilt * std::cos(float(i)), tilt * std::sin(float(i)), float(pole)};
            Bench b;
            b.mesh = TriangleFacing(n);
            b.Prepare(4, 2, 30.0f);
            const float value = b.Evaluate(0, kCentroid);
            ASSERT_EQ(value, 0.0f);
            ASSERT_EQ(b.RaysWritten(), 9);
            for (int k = 0; k < 9; ++k) {
                const Point3& d = b.rays[static_cast<size_t>(k)].dir;
                ASSERT_TRUE(std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z))
                    << "tilt " << tilt << " pole " << pole << " ray " << k;
                ASSERT_NEAR(Length(d), 1.0f, 1e-5f);
                ASSERT_GT(d.z * float(pole), 0.0f);  // within the hemisphere about the normal
            }
            ++checked;
        }
    }
    EXPECT_EQ(checked, 800);
}

TEST(EvaluateGritFan, NormalAlongMinusZGivesADownwardFanWithoutNaN) {
    Bench b;
    // A floor facing -Z over the origin, and below it a small target straight down at 10.
    AddTriangle(b.mesh, {0, 0, 0}, {0, 100, 0}, {100, 0, 0});
    AddTriangle(b.mesh, {-1, -1, -10}, {2, -1, -10}, {-1, 2, -10});  // faces +Z
    b.Prepare(8, 1, 30.0f);
    const float value = b.Evaluate(0, kAtCorner0);
    ASSERT_EQ(b.RaysWritten(), 9);
    EXPECT_EQ(b.rays[0].dir, Point3(0, 0, -1));
    for (int k = 1; k <= 8; ++k) {
        const Point3& d = b.rays[static_cast<size_t>(k)].dir;
        ASSERT_TRUE(std::isfinite(d.x) && std::isfinite(d.y) && std::isfinite(d.z)) << "ray " << k;
        EXPECT_LT(d.z, 0.0f);
    }
    // The orientation about -Z is free, but the layout is the same.
    const double turning = AngleStep(AnglesAbout(b.rays[2].dir, {0, 0, -1}).azimuth,
                                     AnglesAbout(b.rays[1].dir, {0, 0, -1}).azimuth) > 0 ? 1.0 : -1.0;
    ExpectFan(b, {0, 0, -1}, 8, 1, turning);
    // Only the normal ray reaches the target: 2 * (30 - 10) / (9 * 30).
    EXPECT_FLOAT_EQ(value, 40.0f / 270.0f);
}

TEST(EvaluateGritFan, UvMapModeTurnsTheFanByOneDrawPerEvaluation) {
    Bench b;
    AddFloor(b.mesh);
    b.Prepare(8, 1, 30.0f, ALGORITHM_UV_MAP);
    CrtSrand(1);
    // Seed 1 gives 41 first: an offset of (2 * 41 - 32767) * 45 / 32767 degrees.
    b.Evaluate(0, kCentroid);
    EXPECT_EQ(CrtRandState(), CrtRandJump(1, 1));
    const double offset1 = (2.0 * 41 - 32767) * 45 / 32767;
    EXPECT_NEAR(AngleStep(AnglesAbout(b.rays[1].dir, {0, 0, 1}).azimuth, 40.0 + offset1), 0.0, 1e-4);
    ExpectFan(b, {0, 0, 1}, 8, 1);
    // Then 18467.
    b.Evaluate(0, kCentroid);
    EXPECT_EQ(CrtRandState(), CrtRandJump(1, 2));
    const double offset2 = (2.0 * 18467 - 32767) * 45 / 32767;
    EXPECT_NEAR(AngleStep(AnglesAbout(b.rays[1].dir, {0, 0, 1}).azimuth, 40.0 + offset2), 0.0, 1e-4);
    EXPECT_NEAR(AnglesAbout(b.rays[8].dir, {0, 0, 1}).elevation, 45.0, 1e-4);

    // Exactly one draw even without a fan, and on the early returns.
    b.Prepare(0, 3, 30.0f, ALGORITHM_UV_MAP);
    const std::uint32_t before = CrtRandState();
    b.Evaluate(0, kCentroid);
    EXPECT_EQ(CrtRandState(), CrtRandJump(before, 1));
    b.Prepare(8, 1, -5.0f, ALGORITHM_UV_MAP);
    b.Evaluate(0, kCentroid);
    EXPECT_EQ(CrtRandState(), CrtRandJump(before, 2));
    // Every algorithm but Vertex Colors turns the fan.
    b.Prepare(8, 1, 30.0f, ALGORITHM_SPATIAL);
    b.Evaluate(0, kCentroid);
    EXPECT_EQ(CrtRandState(), CrtRandJump(before, 3));
}

TEST(EvaluateGritFan, VertexColorsModeIsDeterministicAndDrawsNothing) {
    Bench b;
    b.mesh = MakeOpenBox(10.0f);
    b.Prepare(8, 1, 30.0f, ALGORITHM_VERTEX_COLORS);
    CrtSrand(1);
    for (int face = 0; face < b.mesh.getNumFaces(); ++face) {
        const float first = b.Evaluate(face, kCentroid);
        const std::vector<Ray> firstRays = b.rays;
        const float second = b.Evaluate(face, kCentroid);
        EXPECT_EQ(first, second) << "face " << face;
        for (int k = 0; k < 9; ++k) EXPECT_EQ(firstRays[static_cast<size_t>(k)].dir, b.rays[static_cast<size_t>(k)].dir);
    }
    EXPECT_EQ(CrtRandState(), 1u);
    // Unturned: ray 1 at azimuth 40 degrees about the floor's normal.
    b.Evaluate(0, kCentroid);
    EXPECT_NEAR(AnglesAbout(b.rays[1].dir, {0, 0, 1}).azimuth, 40.0, 1e-4);
}

TEST(EvaluateGritValue, NearnessOfHitsGivesTheValue) {
    Bench b;
    AddFloor(b.mesh);
    AddLidOverOrigin(b.mesh, 15.0f);
    // One hit at 15 of 30 and eight misses: 2 * 15 / (9 * 30).
    b.Prepare(8, 1, 30.0f);
    EXPECT_FLOAT_EQ(b.Evaluate(0, kAtCorner0), 30.0f / 270.0f);
    EXPECT_NEAR(b.Evaluate(0, kAtCorner0), 0.1111f, 1e-4f);
    // The lid is out of reach from the far corner of the floor.
    EXPECT_EQ(b.Evaluate(0, {0, 1, 0}), 0.0f);

    // Only the normal ray: a hit at distance D adds nothing, beyond D counts nothing.
    b.Prepare(0, 0, 15.0f);
    EXPECT_EQ(b.Evaluate(0, kAtCorner0), 0.0f);
    b.Prepare(0, 0, 14.0f);
    EXPECT_EQ(b.Evaluate(0, kAtCorner0), 0.0f);
    b.Prepare(0, 0, 20.0f);
    EXPECT_FLOAT_EQ(b.Evaluate(0, kAtCorner0), 2.0f * 5.0f / 20.0f);
}

TEST(EvaluateGritValue, OnlyRawValuesOfOneOrMoreBecome0_99) {
    Bench b;
    AddFloor(b.mesh);
    AddLidOverOrigin(b.mesh, 100.5f);
    // 2 * (200 - 100.5) / 200 = 0.995: passes unchanged.
    b.Prepare(0, 0, 200.0f);
    const float justBelowOne = b.Evaluate(0, kAtCorner0);
    EXPECT_EQ(justBelowOne, 199.0f / 200.0f);
    EXPECT_GT(justBelowOne, 0.99f);
    // A hit at exactly half the distance gives a raw 1.0.
    b.Prepare(0, 0, 201.0f);
    EXPECT_EQ(b.Evaluate(0, kAtCorner0), 0.99f);

    // Every ray hitting at distance 0 (a coincident face seen from behind the floor's front):
    // raw 2.0.
    Bench sheet;
    AddTriangle(sheet.mesh, {0, 0, 0}, {10, 0, 0}, {0, 10, 0});
    AddTriangle(sheet.mesh, {0, 0, 0}, {0, 10, 0}, {10, 0, 0});  // the same place, facing -Z
    sheet.Prepare(8, 1, 30.0f);
    EXPECT_EQ(sheet.Evaluate(0, kCentroid), 0.99f);
    sheet.Prepare(24, 10, 30.0f);
    EXPECT_EQ(sheet.Evaluate(0, kCentroid), 0.99f);
}

TEST(EvaluateGritValue, CrevicesScoreAboveOpenSurfaces) {
    Bench box;
    box.mesh = MakeOpenBox(10.0f);
    box.Prepare(8, 1, 8.0f);
    // Floor faces 0 and 1. Near the corner at the origin (corner 0 of face 0) walls are close
    // in many directions; from the middle of the floor only some fan rays reach a wall within
    // the distance.
    const float corner = box.Evaluate(0, {0.98f, 0.01f, 0.01f});
    const float middle = box.Evaluate(0, {0.5f, 0.0f, 0.5f});
    EXPECT_GT(corner, middle);
    EXPECT_GT(middle, 0.0f);
    EXPECT_LT(corner, 1.0f);

    // Every outward face of a cube sees nothing but open space.
    Bench cube;
    cube.mesh = MakeUnitCube();
    cube.Prepare(24, 10, 30.0f);
    for (int face = 0; face < cube.mesh.getNumFaces(); ++face) EXPECT_EQ(cube.Evaluate(face, kCentroid), 0.0f);
}

TEST(EvaluateGritValue, InputsWithoutAMeaningGiveZeroNotNaN) {
    TestHost host;
    Bench b;
    // Two coincident faces back to back: every ray from the floor hits the other at 0.
    AddTriangle(b.mesh, {0, 0, 0}, {10, 0, 0}, {0, 10, 0});
    AddTriangle(b.mesh, {0, 0, 0}, {0, 10, 0}, {10, 0, 0});
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const float dist : {0.0f, -30.0f, nan, inf, -inf}) {
        b.Prepare(8, 1, dist);
        EXPECT_EQ(b.Evaluate(0, kCentroid), 0.0f) << "distance " << dist;
    }
    EXPECT_TRUE(host.assertions.empty());

    // A face whose smoothed normal cancels out: the same triangle both ways round over shared
    // corners in one smoothing group.
    Bench flat;
    AddTriangle(flat.mesh, {0, 0, 0}, {10, 0, 0}, {0, 10, 0});
    AddFace(flat.mesh, 0, 2, 1);
    flat.Prepare(8, 1, 30.0f);
    EXPECT_EQ(flat.grit.vertexNormals.Interpolate(flat.mesh.faces[0], kCentroid), Point3());
    EXPECT_EQ(flat.Evaluate(0, kCentroid), 0.0f);
    EXPECT_EQ(flat.Evaluate(1, kCentroid), 0.0f);
    // No ray without a direction is cast.
    EXPECT_EQ(flat.RaysWritten(), 0);

    // A sample on a face that does not exist, or whose corner does not, is reported, not read.
    EXPECT_EQ(flat.Evaluate(2, kCentroid), 0.0f);
    EXPECT_EQ(flat.Evaluate(-1, kCentroid), 0.0f);
    EXPECT_EQ(host.assertions.size(), 2u);
    AddFace(flat.mesh, 0, 1, 12);
    flat.Prepare(8, 1, 30.0f);
    host.assertions.clear();
    EXPECT_EQ(flat.Evaluate(2, kCentroid), 0.0f);
    ASSERT_GE(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions.back().second, "IntersectRay");
}

TEST(EvaluateGritValue, ConcurrentEvaluationsMatchSequentialOnes) {
    Bench b;
    b.mesh = MakeOpenBox(10.0f);
    AddQuad(b.mesh, 4, 6, 7, 5, 1u << 3);  // a lid facing down: a closed room
    b.Prepare(8, 2, 12.0f);
    const int faces = b.mesh.getNumFaces();
    std::vector<float> expected;
    for (int f = 0; f < faces; ++f) expected.push_back(b.Evaluate(f, kCentroid));

    std::vector<float> got(static_cast<size_t>(faces), -1.0f);
    auto worker = [&](int parity) {
        std::vector<Ray> rays(static_cast<size_t>(b.grit.RayCount()));
        for (int f = parity; f < faces; f += 2) got[static_cast<size_t>(f)] = b.grit.EvaluateGrit(b.mesh, f, kCentroid, rays.data());
    };
    std::thread even(worker, 0), odd(worker, 1);
    even.join();
    odd.join();
    for (int f = 0; f < faces; ++f) {
        EXPECT_EQ(got[static_cast<size_t>(f)], expected[static_cast<size_t>(f)]) << "face " << f;
        EXPECT_GT(expected[static_cast<size_t>(f)], 0.0f) << "face " << f;  // every wall sees the room
    }
}
