#include "tests/raycast/RayQueryDiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

#include "host/Rand.h"
#include "raycast/IntersectRay.h"

PreparedMesh::PreparedMesh(Mesh m) : mesh(std::move(m)) {
    utility.BuildFaceNormals(mesh);
    utility.vertexNormals.Build(mesh);
    utility.BuildRayAccelerator(mesh);
    fourWide = utility.rayAccelerator;
    fourWide.UseSlotTest(SlotTest::kFour);
    eightWide = utility.rayAccelerator;
    eightWide.UseSlotTest(SlotTest::kEight);
}

std::uint32_t FloatBits(float v) { return std::bit_cast<std::uint32_t>(v); }

Ray MakeRay(const Point3& p, const Point3& d) {
    Ray r;
    r.p = p;
    r.dir = d;
    return r;
}

namespace {

bool SameOrigin(const Ray& a, const Ray& b) {
    return FloatBits(a.p.x) == FloatBits(b.p.x) && FloatBits(a.p.y) == FloatBits(b.p.y) &&
           FloatBits(a.p.z) == FloatBits(b.p.z);
}

// The answers of the fan query for every case: runs of consecutive cases with one origin and one
// limit (a fan) go in as one call of up to 64 rays; any other case as a fan of its own.
void FanAnswers(const RayAccelerator& accelerator, const PreparedMesh& prepared, const std::vector<RayCase>& cases,
                std::vector<int>& found, std::vector<float>& distance) {
    found.assign(cases.size(), -1);
    distance.assign(cases.size(), -1234.5f);
    std::vector<Ray> rays;
    for (size_t i = 0; i < cases.size();) {
        size_t end = i + 1;
        while (end < cases.size() && end - i < 64 && SameOrigin(cases[end].ray, cases[i].ray) &&
               FloatBits(cases[end].maxDistance) == FloatBits(cases[i].maxDistance)) {
            ++end;
        }
        rays.clear();
        for (size_t k = i; k < end; ++k) rays.push_back(cases[k].ray);
        accelerator.IntersectFan(prepared.mesh, rays.data(), static_cast<int>(rays.size()), cases[i].maxDistance,
                                 prepared.Normals(), found.data() + i, distance.data() + i);
        i = end;
    }
}

}  // namespace

DiffReport CompareQueries(const PreparedMesh& prepared, const std::vector<RayCase>& cases) {
    DiffReport report;
    // The run's accelerator (the widest slot test) and its narrower twins, each one ray at a time
    // and as fans.
    const RayAccelerator* accelerators[] = {&prepared.Accelerator(), &prepared.eightWide, &prepared.fourWide};
    const char* names[] = {"accelerated", "eight-wide", "four-wide"};
    constexpr int kCount = 3;
    std::vector<int> fanFound[kCount];
    std::vector<float> fanT[kCount];
    for (int a = 0; a < kCount; ++a) FanAnswers(*accelerators[a], prepared, cases, fanFound[a], fanT[a]);
    for (size_t i = 0; i < cases.size(); ++i) {
        const RayCase& c = cases[i];
        float scanT = -1234.5f;
        const int scan = IntersectRay(prepared.mesh, c.ray, scanT, c.maxDistance, prepared.Normals());
        report.rays++;
        if (scan) report.hits++;
        std::string differing;
        for (int a = 0; a < kCount; ++a) {
            float t = -1234.5f;
            const int hit = accelerators[a]->Intersect(prepared.mesh, c.ray, t, c.maxDistance, prepared.Normals());
            char part[160];
            // A miss leaves the distance as it was, in the fan query too.
            if (hit != scan || FloatBits(t) != FloatBits(scanT)) {
                std::snprintf(part, sizeof part, ", %s %d %.9g", names[a], hit, t);
                differing += part;
            }
            if (fanFound[a][i] != scan || FloatBits(fanT[a][i]) != FloatBits(scanT)) {
                std::snprintf(part, sizeof part, ", %s fan %d %.9g", names[a], fanFound[a][i], fanT[a][i]);
                differing += part;
            }
        }
        if (!differing.empty() && report.mismatches++ < 4) {
            char line[400];
            std::snprintf(line, sizeof line, "ray p=(%.9g %.9g %.9g) d=(%.9g %.9g %.9g) max=%.9g: scan %d %.9g",
                          c.ray.p.x, c.ray.p.y, c.ray.p.z, c.ray.dir.x, c.ray.dir.y, c.ray.dir.z, c.maxDistance, scan,
                          scanT);
            report.firstMismatches += line + differing + "\n";
        }
    }
    return report;
}

void ExpectSameAnswers(const PreparedMesh& prepared, const std::vector<RayCase>& cases, int minHits) {
    const DiffReport r = CompareQueries(prepared, cases);
    EXPECT_EQ(r.mismatches, 0) << r.firstMismatches;
    EXPECT_GE(r.hits, minHits) << "too few hits for the comparison to mean much (" << r.rays << " rays)";
}

Point3 UnitDirection(std::mt19937& rng) {
    std::normal_distribution<float> g(0.0f, 1.0f);
    for (;;) {
        const Point3 d{g(rng), g(rng), g(rng)};
        if (Length(d) > 1e-3f) return Normalize(d);
    }
}

Point3 RandomPointOnFace(const Mesh& mesh, int face, std::mt19937& rng) {
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    float a = u(rng), b = u(rng);
    if (a + b > 1.0f) {
        a = 1.0f - a;
        b = 1.0f - b;
    }
    const Face& f = mesh.faces[static_cast<size_t>(face)];
    const Point3 c0 = mesh.getVert(int(f.v[0])), c1 = mesh.getVert(int(f.v[1])), c2 = mesh.getVert(int(f.v[2]));
    return ((1.0f - a - b) * c0 + a * c1) + b * c2;
}

namespace {
void Bounds(const Mesh& mesh, Point3& lo, Point3& hi) {
    lo = hi = mesh.verts.empty() ? Point3{} : mesh.verts[0];
    for (const Point3& v : mesh.verts) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], v[a]);
            hi[a] = std::max(hi[a], v[a]);
        }
    }
}
}  // namespace

float BoxDiagonal(const Mesh& mesh) {
    Point3 lo, hi;
    Bounds(mesh, lo, hi);
    return Length(hi - lo);
}

std::vector<RayCase> RandomRays(const Mesh& mesh, int count, unsigned seed) {
    std::mt19937 rng(seed);
    Point3 lo, hi;
    Bounds(mesh, lo, hi);
    const float diag = Length(hi - lo);
    std::uniform_real_distribution<float> u(-0.5f, 1.5f), limit(0.0f, diag), jitter(-0.02f, 0.02f);
    std::uniform_int_distribution<int> face(0, mesh.getNumFaces() - 1);
    std::vector<RayCase> cases;
    for (int i = 0; i < count; ++i) {
        Point3 p;
        for (int a = 0; a < 3; ++a) p[a] = lo[a] + u(rng) * (hi[a] - lo[a]);
        Point3 d = UnitDirection(rng);
        if (i % 4 != 0) {
            // Most rays aim near a point of the surface, so that many of them hit.
            const Point3 target = RandomPointOnFace(mesh, face(rng), rng) + (jitter(rng) * diag) * UnitDirection(rng);
            if (Length(target - p) > 0.0f) d = Normalize(target - p);
        }
        cases.push_back({MakeRay(p, d), limit(rng)});
    }
    return cases;
}

std::vector<RayCase> SurfaceRays(const Mesh& mesh, int count, float limit, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> face(0, mesh.getNumFaces() - 1);
    std::vector<RayCase> cases;
    for (int i = 0; i < count; ++i) {
        const Point3 p = RandomPointOnFace(mesh, face(rng), rng);
        cases.push_back({MakeRay(p, UnitDirection(rng)), limit});
    }
    return cases;
}

std::vector<RayCase> EdgeAndCornerRays(const Mesh& mesh, int count, unsigned seed) {
    std::mt19937 rng(seed);
    Point3 lo, hi;
    Bounds(mesh, lo, hi);
    const float diag = Length(hi - lo);
    std::uniform_int_distribution<int> face(0, mesh.getNumFaces() - 1), corner(0, 2), kind(0, 2);
    std::uniform_real_distribution<float> u(0.0f, 1.0f), spread(-0.5f, 1.5f);
    std::vector<RayCase> cases;
    for (int i = 0; i < count; ++i) {
        const Face& f = mesh.faces[static_cast<size_t>(face(rng))];
        const int k = corner(rng);
        const Point3 a = mesh.getVert(int(f.v[k])), b = mesh.getVert(int(f.v[(k + 1) % 3]));
        Point3 origin;
        for (int ax = 0; ax < 3; ++ax) origin[ax] = lo[ax] + spread(rng) * (hi[ax] - lo[ax]);
        switch (kind(rng)) {
            case 0:  // at a corner
                cases.push_back({MakeRay(origin, Normalize(a - origin)), diag});
                break;
            case 1: {  // at a point of an edge
                const float s = u(rng);
                const Point3 target = (1.0f - s) * a + s * b;
                cases.push_back({MakeRay(origin, Normalize(target - origin)), diag});
                break;
            }
            default:  // from a corner along its edge, over the faces sharing it
                cases.push_back({MakeRay(a, Normalize(b - a)), diag});
                break;
        }
    }
    return cases;
}

std::vector<RayCase> FanRays(PreparedMesh& prepared, int samples, int horizontal, int vertical, float dist,
                             unsigned seed) {
    GritUtility& utility = prepared.utility;
    utility.settings.algorithm = ALGORITHM_UV_MAP;
    utility.settings.horizontalSpread = horizontal;
    utility.settings.verticalSpread = vertical;
    utility.settings.dist = dist;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> face(0, prepared.mesh.getNumFaces() - 1);
    std::uniform_real_distribution<float> u(0.0f, 1.0f);
    std::vector<Ray> buffer(static_cast<size_t>(utility.RayCount()));
    std::vector<RayCase> cases;
    CrtSrand(seed);
    for (int i = 0; i < samples; ++i) {
        float a = u(rng), b = u(rng);
        if (a + b > 1.0f) {
            a = 1.0f - a;
            b = 1.0f - b;
        }
        // The evaluator fills the buffer with its fan before casting it.
        utility.EvaluateGrit(prepared.mesh, face(rng), Point3{1.0f - a - b, a, b}, buffer.data());
        for (const Ray& r : buffer) cases.push_back({r, dist});
    }
    return cases;
}

std::vector<RayCase> LimitAtHitRays(const PreparedMesh& prepared, const std::vector<RayCase>& cases) {
    std::vector<RayCase> out;
    for (const RayCase& c : cases) {
        float t = 0.0f;
        if (!IntersectRay(prepared.mesh, c.ray, t, c.maxDistance, prepared.Normals())) continue;
        out.push_back({c.ray, t});
        out.push_back({c.ray, std::nextafter(t, -INFINITY)});
        out.push_back({c.ray, std::nextafter(t, INFINITY)});
    }
    return out;
}
