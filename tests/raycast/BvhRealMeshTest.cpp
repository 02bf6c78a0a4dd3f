// The accelerated ray query against the plain scan on the shared real meshes, and the evaluator
// giving the same values through either.
#include <gtest/gtest.h>

#include <vector>

#include "host/Rand.h"
#include "raycast/IntersectRay.h"
#include "tests/common/TestMeshes.h"
#include "tests/common/TestPaths.h"
#include "tests/raycast/RayQueryDiff.h"

namespace {

Mesh LoadShared(const std::string& path) {
    Mesh mesh;
    std::string error;
    EXPECT_TRUE(LoadTestObj(path, mesh, error)) << error;
    return mesh;
}

}  // namespace

TEST(AcceleratedQueryRealMesh, MatchesTheScanOnSpot) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "spot.obj");
    PreparedMesh spot(LoadShared(path));
    ASSERT_GT(spot.mesh.getNumFaces(), 5000);
    const float tenth = 0.1f * BoxDiagonal(spot.mesh);
    ExpectSameAnswers(spot, RandomRays(spot.mesh, 400, 41), 130);
    ExpectSameAnswers(spot, SurfaceRays(spot.mesh, 400, tenth, 42), 60);
    ExpectSameAnswers(spot, EdgeAndCornerRays(spot.mesh, 400, 43), 130);
    const std::vector<RayCase> fans = FanRays(spot, 60, 8, 1, tenth, 44);
    ExpectSameAnswers(spot, fans, 30);
    ExpectSameAnswers(spot, FanRays(spot, 3, 24, 10, tenth, 45), 30);
    ExpectSameAnswers(spot, LimitAtHitRays(spot, fans), 60);
}

TEST(AcceleratedQueryRealMesh, MatchesTheScanOnPizza) {
    // Fifty thousand faces: the scan is slow, so only a few hundred rays.
    MURKWELL_REQUIRE_SHARED_MESH(path, "pizza.obj");
    PreparedMesh pizza(LoadShared(path));
    ASSERT_GT(pizza.mesh.getNumFaces(), 40000);
    const float tenth = 0.1f * BoxDiagonal(pizza.mesh);
    ExpectSameAnswers(pizza, RandomRays(pizza.mesh, 60, 51), 12);
    ExpectSameAnswers(pizza, FanRays(pizza, 8, 8, 1, tenth, 52), 6);
    ExpectSameAnswers(pizza, EdgeAndCornerRays(pizza.mesh, 60, 53), 12);
}

TEST(AcceleratedQueryRealMesh, EvaluatorGivesTheSameValuesWithEitherQuery) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "spot.obj");
    PreparedMesh spot(LoadShared(path));
    GritUtility& utility = spot.utility;
    utility.settings.horizontalSpread = 8;
    utility.settings.verticalSpread = 2;
    utility.settings.dist = 0.1f * BoxDiagonal(spot.mesh);
    std::vector<Ray> buffer(static_cast<size_t>(utility.RayCount()));

    for (const int algorithm : {ALGORITHM_UV_MAP, ALGORITHM_VERTEX_COLORS}) {
        utility.settings.algorithm = algorithm;
        std::vector<float> values[2];
        for (const bool reference : {false, true}) {
            utility.engine.reference = reference;
            CrtSrand(1);
            for (int f = 0; f < spot.mesh.getNumFaces(); f += 71) {
                values[reference ? 1 : 0].push_back(
                    utility.EvaluateGrit(spot.mesh, f, Point3{0.2f, 0.3f, 0.5f}, buffer.data()));
            }
        }
        ASSERT_EQ(values[0].size(), values[1].size());
        int differ = 0, nonzero = 0;
        for (size_t i = 0; i < values[0].size(); ++i) {
            if (FloatBits(values[0][i]) != FloatBits(values[1][i])) differ++;
            if (values[1][i] > 0.0f) nonzero++;
        }
        EXPECT_EQ(differ, 0) << "algorithm " << algorithm;
        EXPECT_GT(nonzero, 10) << "the samples should find nearby geometry";
    }
}

TEST(AcceleratedQueryRealMesh, CastRayUsesTheScanWhenTheAcceleratorIsOffOrStale) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "spot.obj");
    PreparedMesh spot(LoadShared(path));
    GritUtility& utility = spot.utility;
    ASSERT_TRUE(utility.rayAccelerator.Built());

    // Asked for the reference query, a run builds nothing.
    utility.engine.reference = true;
    utility.BuildRayAccelerator(spot.mesh);
    EXPECT_FALSE(utility.rayAccelerator.Built());
    utility.engine.reference = false;
    utility.BuildRayAccelerator(spot.mesh);
    ASSERT_TRUE(utility.rayAccelerator.Built());

    // The tables now describe another mesh, and the accelerator was not rebuilt: CastRay must not
    // use it.
    const Mesh cube = MakeUnitCube();
    utility.BuildFaceNormals(cube);
    const Ray ray = MakeRay({0.5f, 0.5f, 2.0f}, {0.0f, 0.0f, -1.0f});
    float t = -1.0f;
    ASSERT_EQ(utility.CastRay(cube, ray, t, 5.0f), 1);
    EXPECT_EQ(t, 1.0f);
}

TEST(AcceleratedQueryRealMesh, EvaluatorGivesTheSameValuesWithEitherQueryForTheLargestFan) {
    // 241 rays a sample: the evaluator casts them in several pieces.
    MURKWELL_REQUIRE_SHARED_MESH(path, "spot.obj");
    PreparedMesh spot(LoadShared(path));
    GritUtility& utility = spot.utility;
    utility.settings.horizontalSpread = 24;
    utility.settings.verticalSpread = 10;
    utility.settings.dist = 0.1f * BoxDiagonal(spot.mesh);
    utility.settings.algorithm = ALGORITHM_UV_MAP;
    std::vector<Ray> buffer(static_cast<size_t>(utility.RayCount()));
    std::vector<float> values[2];
    for (const bool reference : {false, true}) {
        utility.engine.reference = reference;
        CrtSrand(1);
        for (int f = 0; f < spot.mesh.getNumFaces(); f += 487) {
            values[reference ? 1 : 0].push_back(utility.EvaluateGrit(spot.mesh, f, Point3{0.6f, 0.3f, 0.1f}, buffer.data()));
        }
    }
    ASSERT_EQ(values[0].size(), values[1].size());
    int differ = 0, nonzero = 0;
    for (size_t i = 0; i < values[0].size(); ++i) {
        if (FloatBits(values[0][i]) != FloatBits(values[1][i])) differ++;
        if (values[1][i] > 0.0f) nonzero++;
    }
    EXPECT_EQ(differ, 0);
    EXPECT_GT(nonzero, 3);
}
