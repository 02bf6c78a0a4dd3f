// The evaluator on a real mesh: samples in creases score above samples on convex patches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

#include "plugin/GritUtility.h"
#include "tests/common/TestHost.h"
#include "tests/common/TestMeshes.h"
#include "tests/common/TestPaths.h"

namespace {

Point3 Centroid(const Mesh& mesh, int face) {
    const Face& f = mesh.faces[static_cast<size_t>(face)];
    return (mesh.verts[f.v[0]] + mesh.verts[f.v[1]] + mesh.verts[f.v[2]]) / 3.0f;
}

// How much the surroundings of each face rise above its plane, independent of any ray casting:
// the mean, over the faces that share a corner with it, of the sine of the angle between its
// plane and the direction to their centroids. Positive in a valley, negative on a ridge or tip.
std::vector<float> Concavity(const Mesh& mesh, const Tab<Point3>& normals) {
    const int faceCount = mesh.getNumFaces();
    std::vector<std::vector<int>> facesAt(static_cast<size_t>(mesh.getNumVerts()));
    for (int i = 0; i < faceCount; ++i) {
        for (const DWORD v : mesh.faces[static_cast<size_t>(i)].v) facesAt[v].push_back(i);
    }
    std::vector<float> result(static_cast<size_t>(faceCount), 0.0f);
    for (int i = 0; i < faceCount; ++i) {
        const Point3 c = Centroid(mesh, i);
        std::vector<int> ring;
        for (const DWORD v : mesh.faces[static_cast<size_t>(i)].v) ring.insert(ring.end(), facesAt[v].begin(), facesAt[v].end());
        std::sort(ring.begin(), ring.end());
        ring.erase(std::unique(ring.begin(), ring.end()), ring.end());
        double sum = 0;
        int n = 0;
        for (const int g : ring) {
            if (g == i) continue;
            const Point3 d = Centroid(mesh, g) - c;
            const float len = Length(d);
            if (len == 0.0f) continue;
            sum += DotProd(normals[i], d) / len;
            ++n;
        }
        result[static_cast<size_t>(i)] = n ? float(sum / n) : 0.0f;
    }
    return result;
}

}  // namespace

TEST(RealMeshGrit, CreasesScoreAboveConvexPatches) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "spot.obj");
    TestHost host;
    GritUtility grit;
    Mesh mesh;
    std::string error;
    ASSERT_TRUE(LoadTestObj(path, mesh, error)) << error;
    ASSERT_GT(mesh.getNumFaces(), 1000);

    Point3 lo = mesh.verts[0], hi = mesh.verts[0];
    for (const Point3& p : mesh.verts) {
        lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
        hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    }
    grit.settings.algorithm = ALGORITHM_VERTEX_COLORS;
    grit.settings.horizontalSpread = 8;
    grit.settings.verticalSpread = 2;
    grit.settings.dist = 0.1f * Length(hi - lo);
    grit.BuildFaceNormals(mesh);
    grit.vertexNormals.Build(mesh);

    const std::vector<float> concavity = Concavity(mesh, grit.faceNormals);
    std::vector<int> order(concavity.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return concavity[size_t(a)] > concavity[size_t(b)]; });

    // The five most concave faces (valleys: the ear and leg junctions) against the five most
    // convex ones (tips and ridges).
    std::vector<Ray> rays(static_cast<size_t>(grit.RayCount()));
    const Point3 centroid{0.33333334f, 0.33333334f, 0.33333334f};
    const int picks = 5;
    float lowestValley = 1.0f, highestRidge = 0.0f;
    for (int k = 0; k < picks; ++k) {
        const int valley = order[static_cast<size_t>(k)];
        const int ridge = order[order.size() - 1 - static_cast<size_t>(k)];
        ASSERT_GT(concavity[static_cast<size_t>(valley)], 0.1f);
        ASSERT_LT(concavity[static_cast<size_t>(ridge)], -0.1f);
        const float valleyGrit = grit.EvaluateGrit(mesh, valley, centroid, rays.data());
        const float ridgeGrit = grit.EvaluateGrit(mesh, ridge, centroid, rays.data());
        EXPECT_TRUE(valleyGrit >= 0.0f && valleyGrit < 1.0f) << "face " << valley << ": " << valleyGrit;
        EXPECT_TRUE(ridgeGrit >= 0.0f && ridgeGrit < 1.0f) << "face " << ridge << ": " << ridgeGrit;
        lowestValley = std::min(lowestValley, valleyGrit);
        highestRidge = std::max(highestRidge, ridgeGrit);
    }
    EXPECT_GT(lowestValley, highestRidge);
    EXPECT_GT(lowestValley, 0.1f);
    EXPECT_TRUE(host.assertions.empty());
}
