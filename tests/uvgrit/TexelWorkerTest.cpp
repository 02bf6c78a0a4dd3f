// The texel workers, called directly on the test thread: which rows each visits, the cancel test
// before every texel, progress, the ray buffer, and the noise modulation with its clamp.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "host/Noise.h"
#include "host/Rand.h"
#include "plugin/GritUtility.h"
#include "tests/common/TestHost.h"
#include "tests/uvgrit/UvTestSupport.h"
#include "uvgrit/TexelWorkers.h"

namespace {
constexpr float kSentinel = 0.5f;

class TexelWorker : public testing::Test {
protected:
    void SetUp() override {
        utility.settings.horizontalSpread = 4;
        utility.settings.verticalSpread = 1;
        utility.settings.dist = 3.0f;
        InitializeCriticalSection(&utility.workLock);
    }
    void TearDown() override { DeleteCriticalSection(&utility.workLock); }

    // The floor of the open box rasterised into a w x h grid; all values set to the sentinel.
    void PrepareBox(int w, int h) {
        mesh = MakeUvOpenBox(4.0f);
        utility.texels = EmptyGrid(w, h);
        const Point3* tv = mesh.mapVerts(1);
        const TVFace* tf = mesh.mapFaces(1);
        for (int f = 0; f < 2; ++f)
            utility.RasterizeUvFace(utility.texels, tv[tf[f].t[0]], tv[tf[f].t[1]], tv[tf[f].t[2]], f);
        utility.BuildFaceNormals(mesh);
        utility.vertexNormals.Build(mesh);
        FillValues(w, h, kSentinel);
    }
    void FillValues(int w, int h, float v) {
        utility.gritValues.Resize(unsigned(w), unsigned(h), 0.0f);
        utility.gritValues.SetAll(v);
    }
    int Run(int evenRows) {
        SetCrtRandState(1);
        return utility.TexelWorker(mesh, utility.texels, utility.gritValues, evenRows);
    }

    TestHost host;
    GritUtility utility;
    Mesh mesh;
};

TEST_F(TexelWorker, SingleRowGridIsAllEvenWork) {
    PrepareBox(4, 1);
    // A one-row map flattens every face; cover the row with the floor by hand.
    TexelRecord floor;
    floor.faceIndex = 0;
    floor.weights = floor.rawWeights = Point3(0.2f, 0.3f, 0.5f);
    for (int x = 0; x < 4; ++x) utility.texels.Set(x, 0, floor);
    int visits = 0;
    utility.beforeTexelHook = [&](int, int) { ++visits; };
    EXPECT_EQ(Run(0), 1);
    EXPECT_EQ(visits, 0);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(utility.gritValues.Get(x, 0), kSentinel);

    EXPECT_EQ(Run(1), 1);
    EXPECT_EQ(visits, 4);
    for (int x = 0; x < 4; ++x) {
        const float v = utility.gritValues.Get(x, 0);
        EXPECT_NE(v, kSentinel);
        EXPECT_GE(v, 0.0f);
        EXPECT_LT(v, 1.0f);
    }
    EXPECT_TRUE(host.assertions.empty());
}

TEST_F(TexelWorker, EachWorkerTakesItsOwnRowsOnly) {
    PrepareBox(6, 6);
    std::vector<int> rows;
    utility.beforeTexelHook = [&](int x, int y) {
        if (x == 0) rows.push_back(y);
    };
    EXPECT_EQ(Run(0), 1);
    EXPECT_EQ(rows, (std::vector<int>{1, 3, 5}));
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(utility.gritValues.Get(x, 0), kSentinel);
        EXPECT_NE(utility.gritValues.Get(x, 1), kSentinel);
    }
    rows.clear();
    EXPECT_EQ(Run(1), 1);
    EXPECT_EQ(rows, (std::vector<int>{0, 2, 4}));
    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 6; ++y)
            EXPECT_EQ(utility.gritValues.Get(x, y) != kSentinel, utility.texels.Get(x, y).IsCovered()) << x << "," << y;
}

TEST_F(TexelWorker, UncoveredTexelsAreOnlyCancelTested) {
    mesh = MakeUvOpenBox(4.0f);
    utility.BuildFaceNormals(mesh);
    utility.vertexNormals.Build(mesh);
    utility.texels = EmptyGrid(5, 4);
    FillValues(5, 4, kSentinel);
    int visits = 0;
    utility.beforeTexelHook = [&](int, int) { ++visits; };
    EXPECT_EQ(Run(0), 1);
    EXPECT_EQ(Run(1), 1);
    EXPECT_EQ(visits, 20);
    for (int x = 0; x < 5; ++x)
        for (int y = 0; y < 4; ++y) EXPECT_EQ(utility.gritValues.Get(x, y), kSentinel);
}

TEST_F(TexelWorker, CoverageNamingAFaceTheMeshLacksIsReportedAndSkipped) {
    PrepareBox(4, 4);
    TexelRecord foreign;
    foreign.faceIndex = 99;
    foreign.weights = Point3(0.4f, 0.3f, 0.3f);
    utility.texels.Set(1, 0, foreign);
    EXPECT_EQ(Run(1), 1);
    ASSERT_EQ(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions[0].second, "TexelWorker");
    EXPECT_NE(utility.gritValues.Get(0, 0), kSentinel);
    EXPECT_EQ(utility.gritValues.Get(1, 0), kSentinel);
}

TEST_F(TexelWorker, CancelStopsBeforeTheNextTexelAndRaisesTheDoneFlag) {
    PrepareBox(8, 8);
    utility.beforeTexelHook = [&](int x, int y) {
        if (x == 3 && y == 0) utility.cancelRequested.store(1);
    };
    EXPECT_EQ(Run(1), 0);
    EXPECT_EQ(utility.evenRowsDone.load(), 1);
    EXPECT_EQ(utility.oddRowsDone.load(), 0);
    for (int x = 0; x < 3; ++x) EXPECT_NE(utility.gritValues.Get(x, 0), kSentinel) << x;
    for (int y = 0; y < 8; ++y)
        for (int x = (y == 0 ? 3 : 0); x < 8; ++x) EXPECT_EQ(utility.gritValues.Get(x, y), kSentinel) << x << "," << y;

    // Already cancelled: the odd worker stops at its first texel, uncovered or not.
    int visits = 0;
    utility.beforeTexelHook = [&](int, int) { ++visits; };
    EXPECT_EQ(Run(0), 0);
    EXPECT_EQ(visits, 1);
    EXPECT_EQ(utility.oddRowsDone.load(), 1);
}

TEST_F(TexelWorker, EvenWorkerPublishesProgressAsItStartsEachRow) {
    mesh = MakeUvOpenBox(4.0f);
    utility.texels = EmptyGrid(1, 200);
    FillValues(1, 200, 0.0f);
    std::vector<int> published;
    utility.beforeTexelHook = [&](int, int) { published.push_back(utility.progressPercent); };
    utility.progressPercent = 42;
    EXPECT_EQ(Run(1), 1);
    std::vector<int> expected;
    for (int p = 0; p < 100; ++p) expected.push_back(p);
    EXPECT_EQ(published, expected);

    // The odd worker resets the percentage and publishes nothing.
    published.clear();
    utility.progressPercent = 42;
    EXPECT_EQ(Run(0), 1);
    EXPECT_EQ(published, std::vector<int>(100, 0));
}

TEST_F(TexelWorker, RayBufferThatCannotBeHadStopsTheWorker) {
    PrepareBox(4, 4);
    utility.settings.horizontalSpread = INT_MAX;
    utility.settings.verticalSpread = INT_MAX;
    int visits = 0;
    utility.beforeTexelHook = [&](int, int) { ++visits; };
    EXPECT_EQ(Run(1), 0);
    EXPECT_EQ(utility.texelWorkerFailed.load(), 1);
    EXPECT_EQ(utility.evenRowsDone.load(), 1);
    EXPECT_EQ(visits, 0);
    EXPECT_EQ(utility.gritValues.Get(0, 0), kSentinel);
}

TEST_F(TexelWorker, NoiseScalesByTheFieldAtTheRawSurfacePoint) {
    PrepareBox(8, 8);
    ASSERT_EQ(Run(1), 1);
    ASSERT_EQ(Run(0), 1);
    const BArray<float> plain = utility.gritValues;

    utility.settings.noiseOn = 1;
    utility.settings.noiseSize = 0.7f;
    utility.gritValues.SetAll(kSentinel);
    ASSERT_EQ(Run(1), 1);
    ASSERT_EQ(Run(0), 1);

    int changed = 0;
    for (int x = 0; x < 8; ++x) {
        for (int y = 0; y < 8; ++y) {
            const TexelRecord r = utility.texels.Get(x, y);
            if (!r.IsCovered()) continue;
            const Face& f = mesh.faces[size_t(r.faceIndex)];
            const Point3 a = mesh.verts[f.v[0]], b = mesh.verts[f.v[1]], c = mesh.verts[f.v[2]];
            const Point3 p = (a * r.rawWeights.x + b * r.rawWeights.y) + c * r.rawWeights.z;
            float expected = (noise3(p / 0.7f) + 1.0f) * plain.Get(x, y);
            if (expected > 1.0f) expected = 0.99f;
            EXPECT_EQ(utility.gritValues.Get(x, y), expected) << x << "," << y;
            changed += utility.gritValues.Get(x, y) != plain.Get(x, y) ? 1 : 0;
        }
    }
    EXPECT_GT(changed, 0);
}

TEST(TexelGrit, NoiseFactorAndClamp) {
    EXPECT_FLOAT_EQ(ModulateByNoise(0.9f, 0.5f), 1.35f);
    EXPECT_EQ(ClampTexelGrit(ModulateByNoise(0.9f, 0.5f)), 0.99f);
    EXPECT_EQ(ClampTexelGrit(ModulateByNoise(0.9f, 0.0f)), 0.9f);
    EXPECT_EQ(ClampTexelGrit(1.0f), 1.0f);
    EXPECT_EQ(ClampTexelGrit(1.0000001f), 0.99f);
    EXPECT_EQ(ClampTexelGrit(-0.2f), -0.2f);

    const Point3 p(0.3f, 1.7f, -2.2f);
    const float n = noise3(p / 2.0f);
    ASSERT_NE(n, 0.0f);
    EXPECT_EQ(TexelGrit(0.4f, p, 1, 2.0f), (n + 1.0f) * 0.4f);
    EXPECT_EQ(TexelGrit(0.4f, p, 0, 2.0f), 0.4f);
    EXPECT_EQ(TexelGrit(0.9f, Point3(1, 2, 3), 1, 1.0f), 0.9f);  // the field is 0 on the lattice
}

TEST(TexelGrit, UndefinedNoiseLeavesTheValueAlone) {
    const Point3 p(0.3f, 1.7f, -2.2f);
    EXPECT_EQ(TexelGrit(0.4f, p, 1, 0.0f), 0.4f);
    EXPECT_EQ(TexelGrit(0.4f, p, 1, -0.0f), 0.4f);
    EXPECT_EQ(TexelGrit(0.4f, p, 1, std::numeric_limits<float>::quiet_NaN()), 0.4f);
    EXPECT_EQ(TexelGrit(0.4f, Point3(1e30f, 0, 0), 1, 1e-30f), 0.4f);  // the noise point overflows
    EXPECT_EQ(TexelGrit(1.5f, p, 1, 0.0f), 0.99f);                    // the clamp still applies
}

TEST(TexelGrit, RayBufferHoldsTheWholeFan) {
    EXPECT_EQ(TexelRayCount(8, 1), 9u);
    EXPECT_EQ(TexelRayCount(24, 10), 241u);
    EXPECT_EQ(TexelRayCount(0, 5), 1u);
    EXPECT_EQ(TexelRayCount(-3, 4), 1u);
    EXPECT_EQ(TexelRayCount(4, -3), 1u);
    EXPECT_EQ(TexelRayCount(INT_MAX, INT_MAX), std::uint64_t(INT_MAX) * std::uint64_t(INT_MAX) + 1u);
}
}  // namespace
