// The accelerated ray query against the plain scan on small meshes built in code: crafted rays
// where rounding, ties and the order of faces matter.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <thread>

#include "raycast/IntersectRay.h"
#include "tests/common/TestMeshes.h"
#include "tests/raycast/RayQueryDiff.h"

namespace {

// A closed, bumpy surface: a sphere of `rings` x `segments` quads with its radius varied, so that
// faces meet at many angles.
Mesh MakeBumpySphere(int rings, int segments, const Point3& center, float radius) {
    Mesh mesh;
    for (int i = 0; i <= rings; ++i) {
        const double theta = M_PI * i / rings;
        for (int j = 0; j < segments; ++j) {
            const double phi = 2.0 * M_PI * j / segments;
            const double r = radius * (1.0 + 0.25 * std::sin(5.0 * phi) * std::sin(3.0 * theta));
            AddVertex(mesh, {center.x + float(r * std::sin(theta) * std::cos(phi)),
                             center.y + float(r * std::sin(theta) * std::sin(phi)),
                             center.z + float(r * std::cos(theta))});
        }
    }
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < segments; ++j) {
            const int a = i * segments + j, b = i * segments + (j + 1) % segments;
            // Outward: counter-clockwise seen from outside.
            AddQuad(mesh, a, a + segments, b + segments, b);
        }
    }
    return mesh;
}

// Rays that start exactly on faces and leave into their back or front side, so that t = 0 hits
// of the neighbouring and the own faces arise.
std::vector<RayCase> OnSurfaceRays(const Mesh& mesh, int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> face(0, mesh.getNumFaces() - 1);
    std::vector<RayCase> cases;
    for (int i = 0; i < count; ++i) {
        const int f = face(rng);
        const Face& fc = mesh.faces[static_cast<size_t>(f)];
        const Point3 p = (i % 3 == 0) ? mesh.getVert(int(fc.v[i % 3])) : RandomPointOnFace(mesh, f, rng);
        cases.push_back({MakeRay(p, UnitDirection(rng)), 0.5f});
    }
    return cases;
}

}  // namespace

TEST(AcceleratedQuery, MatchesTheScanOnRandomEdgeCornerAndSurfaceRays) {
    const PreparedMesh sphere(MakeBumpySphere(24, 32, {0.3f, -0.2f, 0.1f}, 1.0f));
    ASSERT_TRUE(sphere.Accelerator().Built());
    ExpectSameAnswers(sphere, RandomRays(sphere.mesh, 1500, 1), 300);
    ExpectSameAnswers(sphere, EdgeAndCornerRays(sphere.mesh, 1500, 2), 300);
    ExpectSameAnswers(sphere, OnSurfaceRays(sphere.mesh, 1500, 3), 300);
    ExpectSameAnswers(sphere, LimitAtHitRays(sphere, RandomRays(sphere.mesh, 500, 4)), 200);
}

TEST(AcceleratedQuery, MatchesTheScanOnTheEvaluatorsFans) {
    PreparedMesh box(MakeOpenBox(10.0f));
    const std::vector<RayCase> fans = FanRays(box, 40, 24, 10, 6.0f, 5);
    ExpectSameAnswers(box, fans, 2000);
    ExpectSameAnswers(box, LimitAtHitRays(box, fans), 2000);
}

TEST(AcceleratedQuery, KeepsTheSignOfAZeroDistanceAsTheScanDoes) {
    // Two copies of one triangle in the plane z = 0, facing +z, whose first corners differ only in
    // the signs of their zero coordinates.
    // A ray starting on the plane and heading down meets both at distance 0, but the float
    // arithmetic makes one distance +0 and the other -0. The scan accepts equal distances again,
    // so it reports the later face's zero; the accelerated walk must too, whatever order it
    // visits them in. Both face orders are checked, with unrelated faces around so the tree has
    // several levels.
    for (int order = 0; order < 2; ++order) {
        Mesh mesh;
        const Point3 negZero{-0.0f, 0.0f, -0.0f}, posZero{0.0f, 0.0f, 0.0f};
        AddTriangle(mesh, order == 0 ? negZero : posZero, {1, 0, 0}, {0, 1, 0});
        for (int i = 0; i < 40; ++i) {
            const float x = 3.0f + float(i % 7), y = float(i / 7);
            AddTriangle(mesh, {x, y, 0.5f}, {x + 0.9f, y, 0.5f}, {x, y + 0.9f, 0.5f});
        }
        AddTriangle(mesh, order == 0 ? posZero : negZero, {1, 0, 0}, {0, 1, 0});
        const PreparedMesh prepared(std::move(mesh));
        const Ray ray = MakeRay({0.25f, 0.25f, 0.0f}, {0.0f, 0.0f, -1.0f});

        float scanT = 1.0f, fastT = 1.0f;
        ASSERT_EQ(IntersectRay(prepared.mesh, ray, scanT, 1.0f, prepared.Normals()), 1);
        ASSERT_EQ(prepared.Accelerator().Intersect(prepared.mesh, ray, fastT, 1.0f, prepared.Normals()), 1);
        // The premise: the last face's zero carries the sign of that face's arithmetic.
        EXPECT_EQ(std::signbit(scanT), order == 0) << "order " << order;
        EXPECT_EQ(FloatBits(fastT), FloatBits(scanT)) << "order " << order;
    }
}

TEST(AcceleratedQuery, MatchesTheScanWithDegenerateThinAndDuplicatedFaces) {
    Mesh mesh = MakeBumpySphere(12, 16, {0, 0, 0}, 1.0f);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (int i = 0; i < 60; ++i) {
        const Point3 a{u(rng), u(rng), u(rng)}, b{u(rng), u(rng), u(rng)};
        const Point3 side = Normalize(CrossProd(b - a, Point3{0.3f, 0.7f, 0.1f}));
        // Zero area: a repeated corner, and three points on one line.
        AddTriangle(mesh, a, a, b);
        AddTriangle(mesh, a, 0.5f * (a + b), b);
        // Thin faces, from moderately to extremely thin (the last beyond what a box can bound).
        const float width = std::pow(10.0f, -1.0f - float(i % 7));
        AddTriangle(mesh, a, b, 0.5f * (a + b) + width * side);
        AddTriangle(mesh, b, a, 0.5f * (a + b) + width * side);
    }
    // Exact duplicates of existing faces, both windings.
    const int base = mesh.getNumFaces();
    for (int f = 0; f < 40; ++f) {
        const Face src = mesh.faces[static_cast<size_t>(f)];
        AddFace(mesh, int(src.v[0]), int(src.v[1]), int(src.v[2]));
        AddFace(mesh, int(src.v[1]), int(src.v[0]), int(src.v[2]));
    }
    ASSERT_GT(mesh.getNumFaces(), base);
    const PreparedMesh prepared(std::move(mesh));
    EXPECT_GT(prepared.Accelerator().UnboundedFaceCount(), 0) << "the thinnest faces should be tested for every ray";
    ExpectSameAnswers(prepared, RandomRays(prepared.mesh, 1500, 8), 300);
    ExpectSameAnswers(prepared, EdgeAndCornerRays(prepared.mesh, 3000, 9), 500);
    ExpectSameAnswers(prepared, OnSurfaceRays(prepared.mesh, 1500, 10), 200);
}

TEST(AcceleratedQuery, MatchesTheScanFarFromTheOriginAndAtTinyAndHugeScales) {
    const struct {
        Point3 center;
        float radius;
    } placements[] = {{{12000.0f, -30000.0f, 7000.0f}, 3.0f},
                      {{1e-9f, 2e-9f, 0.0f}, 1e-9f},
                      {{-3e6f, 1e6f, 2e6f}, 40.0f},
                      {{0.0f, 0.0f, 0.0f}, 1e9f}};
    for (const auto& place : placements) {
        SCOPED_TRACE(place.radius);
        const PreparedMesh prepared(MakeBumpySphere(10, 14, place.center, place.radius));
        ExpectSameAnswers(prepared, RandomRays(prepared.mesh, 800, 11), 150);
        ExpectSameAnswers(prepared, EdgeAndCornerRays(prepared.mesh, 800, 12), 150);
    }
}

TEST(AcceleratedQuery, MatchesTheScanForAxisAlignedRaysOnBoxPlanes) {
    // The cube's faces lie exactly on the planes of their boxes' slabs; rays along the axes, with
    // zero direction components, start on those planes, on edges and on corners.
    const PreparedMesh cube(MakeUnitCube());
    std::vector<RayCase> cases;
    const float coords[] = {-1.0f, 0.0f, 0.25f, 0.5f, 1.0f, 2.0f};
    const Point3 axes[] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const float x : coords) {
        for (const float y : coords) {
            for (const float z : coords) {
                for (const Point3& d : axes) cases.push_back({MakeRay({x, y, z}, d), 3.0f});
            }
        }
    }
    ExpectSameAnswers(cube, cases, 150);
}

TEST(AcceleratedQuery, MatchesTheScanForUnusualRaysAndLimits) {
    const PreparedMesh sphere(MakeBumpySphere(10, 12, {0, 0, 0}, 1.0f));
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Point3 inward{0.0f, 0.0f, -1.0f};
    const Point3 outside{0.05f, 0.02f, 3.0f};
    const std::vector<RayCase> cases = {
        {MakeRay(outside, inward), inf},
        {MakeRay(outside, inward), -inf},
        {MakeRay(outside, inward), nan},
        {MakeRay(outside, inward), -1.0f},
        {MakeRay(outside, inward), 0.0f},
        {MakeRay(outside, inward), std::numeric_limits<float>::max()},
        {MakeRay({0.0f, 0.0f, 0.0f}, inward), -0.0f},
        {MakeRay(outside, {0.0f, 0.0f, -1e30f}), 10.0f},   // huge direction
        {MakeRay(outside, {1e-35f, 0.0f, -1.0f}), 10.0f},  // a subnormal-sized component
        {MakeRay(outside, {0.0f, 0.0f, -1e-20f}), 1e21f},  // tiny direction, huge limit
        {MakeRay(outside, {nan, 0.0f, -1.0f}), 10.0f},
        {MakeRay({nan, 0.0f, 3.0f}, inward), 10.0f},
        {MakeRay({inf, 0.0f, 3.0f}, inward), inf},
        {MakeRay(outside, {0.0f, 0.0f, 0.0f}), 10.0f},  // no direction at all
        {MakeRay({1e31f, 0.0f, 0.0f}, {-1.0f, 0.0f, 0.0f}), inf},
    };
    const DiffReport r = CompareQueries(sphere, cases);
    EXPECT_EQ(r.mismatches, 0) << r.firstMismatches;
    EXPECT_GE(r.hits, 5);
}

TEST(AcceleratedQuery, HandlesMeshesWithoutBoundedFaces) {
    const Tab<Point3> noNormals;
    RayAccelerator empty;
    empty.Build(Mesh{}, noNormals);
    float t = 42.0f;
    EXPECT_EQ(empty.Intersect(Mesh{}, MakeRay({0, 0, 1}, {0, 0, -1}), t, 10.0f, noNormals), 0);
    EXPECT_EQ(t, 42.0f);

    // Only zero-area faces: nothing can be hit, and nothing needs a box.
    Mesh flat;
    AddTriangle(flat, {0, 0, 0}, {1, 0, 0}, {2, 0, 0});
    AddTriangle(flat, {0, 0, 0}, {0, 0, 0}, {0, 1, 0});
    const PreparedMesh degenerate(std::move(flat));
    EXPECT_TRUE(degenerate.Accelerator().Tree().nodes.empty());
    EXPECT_EQ(degenerate.Accelerator().UnboundedFaceCount(), 0);
    EXPECT_EQ(CompareQueries(degenerate, RandomRays(degenerate.mesh, 200, 13)).mismatches, 0);

    // One face: a root with one used slot and three empty ones.
    const PreparedMesh single(MakeTriangleMesh({0, 0, 0}, {1, 0, 0}, {0, 1, 0}));
    ExpectSameAnswers(single, RandomRays(single.mesh, 2000, 14), 50);
}

TEST(AcceleratedQuery, ThreadsShareOneAcceleratorWithoutChangingAnswers) {
    // The runs' workers cast rays at the same time through one accelerator, which they only read.
    const PreparedMesh sphere(MakeBumpySphere(16, 24, {0, 0, 0}, 1.0f));
    const std::vector<RayCase> cases = RandomRays(sphere.mesh, 1200, 15);
    std::vector<int> scanHit(cases.size());
    std::vector<float> scanT(cases.size(), 0.0f);
    for (size_t i = 0; i < cases.size(); ++i) {
        scanHit[i] = IntersectRay(sphere.mesh, cases[i].ray, scanT[i], cases[i].maxDistance, sphere.Normals());
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int w = 0; w < 4; ++w) {
        threads.emplace_back([&, w] {
            for (size_t k = 0; k < cases.size(); ++k) {
                const size_t i = (k + static_cast<size_t>(w) * 300) % cases.size();  // each from elsewhere
                float t = 0.0f;
                const int hit = sphere.Accelerator().Intersect(sphere.mesh, cases[i].ray, t, cases[i].maxDistance,
                                                               sphere.Normals());
                if (hit != scanHit[i] || (hit && FloatBits(t) != FloatBits(scanT[i]))) mismatches[static_cast<size_t>(w)]++;
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
    EXPECT_GT(std::count(scanHit.begin(), scanHit.end(), 1), 200);
}

TEST(AcceleratedQuery, FanQueryCastsMixedOriginsAndUnusualDirectionsLikeSingleRays) {
    const PreparedMesh sphere(MakeBumpySphere(20, 28, {0.1f, 0.2f, -0.3f}, 1.0f));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto expectLikeSingleRays = [&](const std::vector<Ray>& rays, float limit, int minHits) {
        std::vector<int> found(rays.size(), -1);
        std::vector<float> t(rays.size(), -7.0f);
        sphere.Accelerator().IntersectFan(sphere.mesh, rays.data(), static_cast<int>(rays.size()), limit,
                                          sphere.Normals(), found.data(), t.data());
        int hits = 0, differ = 0;
        for (size_t k = 0; k < rays.size(); ++k) {
            float scanT = -7.0f;
            const int scan = IntersectRay(sphere.mesh, rays[k], scanT, limit, sphere.Normals());
            hits += scan;
            if (found[k] != scan || FloatBits(t[k]) != FloatBits(scanT)) differ++;
        }
        EXPECT_EQ(differ, 0);
        EXPECT_GE(hits, minHits);
    };

    // One call with rays from many origins.
    std::vector<Ray> mixed;
    for (const RayCase& c : RandomRays(sphere.mesh, 300, 31)) mixed.push_back(c.ray);
    expectLikeSingleRays(mixed, 1.5f, 60);

    // A fan from inside the surface whose directions include ones the walk does not cover, which
    // must go to the scan without disturbing the others.
    std::mt19937 rng(32);
    const Point3 origin = RandomPointOnFace(sphere.mesh, 17, rng);
    std::vector<Ray> fan;
    for (int k = 0; k < 40; ++k) fan.push_back(MakeRay(origin, UnitDirection(rng)));
    fan[3].dir = {0.0f, 0.0f, 0.0f};
    fan[11].dir = {nan, 0.0f, -1.0f};
    fan[20].dir = {1e-35f, 0.0f, -1.0f};
    fan[27].dir = {0.0f, 1e31f, 0.0f};
    expectLikeSingleRays(fan, 3.0f, 10);
    // The same fan with an infinite, a negative and a zero limit.
    expectLikeSingleRays(fan, std::numeric_limits<float>::infinity(), 10);
    expectLikeSingleRays(fan, -1.0f, 0);
    expectLikeSingleRays(fan, 0.0f, 0);
    // A fan that starts outside the tree's root box.
    std::vector<Ray> outside;
    for (int k = 0; k < 25; ++k) outside.push_back(MakeRay({4.0f, -3.0f, 2.5f}, Normalize(Point3{-4.0f, 3.0f, -2.5f} + 0.3f * UnitDirection(rng))));
    expectLikeSingleRays(outside, 10.0f, 10);
}
