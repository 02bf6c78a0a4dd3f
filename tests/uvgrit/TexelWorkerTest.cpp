// The texel worker, called directly on the test thread: the rows it takes and the generator state
// each starts from, the cancel test before every texel, progress, the ray buffer, and the noise
// modulation with its clamp.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "host/Noise.h"
#include "host/Rand.h"
#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"
#include "tests/common/TestHost.h"
#include "tests/uvgrit/UvTestSupport.h"
#include "uvgrit/TexelRowStates.h"
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
    // One worker over a fresh queue of the grid's rows.
    int Run() {
        rows.nextRow.store(0);
        rows.rowStartStates = TexelRowStartStates(utility.texels, mesh.getNumFaces());
        return utility.TexelWorker(mesh, utility.texels, utility.gritValues, rows);
    }

    TestHost host;
    GritUtility utility;
    Mesh mesh;
    TexelRowQueue rows;
};

TEST_F(TexelWorker, TakesEveryRowOnceInOrderAndRaisesProgressAsItStartsThem) {
    mesh = MakeUvOpenBox(4.0f);
    utility.texels = EmptyGrid(1, 200);
    FillValues(1, 200, 0.0f);
    std::vector<int> visitedRows, published;
    utility.beforeTexelHook = [&](int, int y) {
        visitedRows.push_back(y);
        published.push_back(utility.progressPercent);
    };
    utility.progressPercent = 0;
    EXPECT_EQ(Run(), 1);
    std::vector<int> allRows(200), percents;
    for (int y = 0; y < 200; ++y) {
        allRows[static_cast<size_t>(y)] = y;
        percents.push_back(y / 2);
    }
    EXPECT_EQ(visitedRows, allRows);
    EXPECT_EQ(published, percents);

    // A second worker arriving late finds no row left, and leaves the bar where it is.
    visitedRows.clear();
    EXPECT_EQ(utility.TexelWorker(mesh, utility.texels, utility.gritValues, rows), 1);
    EXPECT_TRUE(visitedRows.empty());
    EXPECT_EQ(utility.progressPercent, 99);
}

TEST_F(TexelWorker, EachRowStartsFromItsOwnGeneratorState) {
    PrepareBox(6, 6);
    // Whatever this thread's generator holds, each row starts from its state in the queue.
    std::vector<std::uint32_t> seen;
    utility.beforeTexelHook = [&](int x, int) {
        if (x == 0) seen.push_back(CrtRandState());
    };
    CrtSrand(12345);
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(seen, rows.rowStartStates);
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
    EXPECT_EQ(Run(), 1);
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
    EXPECT_EQ(Run(), 1);
    ASSERT_EQ(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions[0].second, "TexelWorker");
    EXPECT_NE(utility.gritValues.Get(0, 0), kSentinel);
    EXPECT_EQ(utility.gritValues.Get(1, 0), kSentinel);
}

TEST_F(TexelWorker, CancelStopsBeforeTheNextTexel) {
    PrepareBox(8, 8);
    utility.beforeTexelHook = [&](int x, int y) {
        if (x == 3 && y == 2) utility.cancelRequested.store(1);
    };
    EXPECT_EQ(Run(), 0);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            const bool reached = y < 2 || (y == 2 && x < 3);
            const bool evaluated = reached && utility.texels.Get(x, y).IsCovered();
            EXPECT_EQ(utility.gritValues.Get(x, y) != kSentinel, evaluated) << x << "," << y;
        }
    }

    // Already cancelled: the next worker stops at its first texel, uncovered or not.
    int visits = 0;
    utility.beforeTexelHook = [&](int, int) { ++visits; };
    EXPECT_EQ(utility.TexelWorker(mesh, utility.texels, utility.gritValues, rows), 0);
    EXPECT_EQ(visits, 1);
}

TEST_F(TexelWorker, RayBufferThatCannotBeHadStopsTheWorker) {
    PrepareBox(4, 4);
    int visits = 0;
    utility.beforeTexelHook = [&](int, int) { ++visits; };
    for (const bool hooked : {false, true}) {
        SCOPED_TRACE(hooked ? "allocation refused" : "spread beyond memory");
        utility.texelWorkerFailed.store(0);
        if (hooked) {
            SetRayBufferFailureHook([](int) { return true; });
        } else {
            utility.settings.horizontalSpread = INT_MAX;
            utility.settings.verticalSpread = INT_MAX;
        }
        EXPECT_EQ(Run(), 0);
        SetRayBufferFailureHook({});
        utility.settings.horizontalSpread = 4;
        utility.settings.verticalSpread = 1;
        EXPECT_EQ(utility.texelWorkerFailed.load(), 1);
        EXPECT_EQ(visits, 0);
        EXPECT_EQ(utility.gritValues.Get(0, 0), kSentinel);
    }
}

TEST_F(TexelWorker, NoiseScalesByTheFieldAtTheRawSurfacePoint) {
    PrepareBox(8, 8);
    ASSERT_EQ(Run(), 1);
    const BArray<float> plain = utility.gritValues;

    utility.settings.noiseOn = 1;
    utility.settings.noiseSize = 0.7f;
    utility.gritValues.SetAll(kSentinel);
    ASSERT_EQ(Run(), 1);

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
