// The UV Map run on any number of worker threads: the generator state each row starts from, the
// shared-row worker, and maps that are the same bit for bit for every thread count and for the
// accelerated query and the plain scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "host/Platform.h"
#include "host/Rand.h"
#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"
#include "standalone/ObjScene.h"
#include "tests/common/TestHost.h"
#include "tests/common/TestPaths.h"
#include "tests/uvgrit/UvTestSupport.h"
#include "uvgrit/TexelRowStates.h"
#include "uvgrit/TexelWorkers.h"

namespace {

// Counts the run's thread starts (and fails the one numbered `failing`, if any) while alive.
class ThreadStartCounter {
public:
    explicit ThreadStartCounter(int failing = -1) {
        SetThreadStartFailureHook([this, failing](int attempt) {
            attempts_.fetch_add(1);
            return attempt == failing;
        });
    }
    ~ThreadStartCounter() { SetThreadStartFailureHook({}); }
    int Attempts() const { return attempts_.load(); }

private:
    std::atomic<int> attempts_{0};
};

std::vector<std::uint32_t> Bits(const BArray<float>& grid) {
    std::vector<std::uint32_t> bits;
    for (unsigned y = 0; y < grid.RowCount(); ++y)
        for (unsigned x = 0; x < grid.ColumnCount(); ++x) bits.push_back(std::bit_cast<std::uint32_t>(grid.At(x, y)));
    return bits;
}

// The even/odd layout computed on this thread: the odd rows from seed 1, then the even rows from
// seed 1, then the finishing passes. `accelerated` chooses how rays are cast.
BArray<float> TwoWorkerMap(const GritSettings& settings, const Mesh& mesh, const BArray<TexelRecord>& texels,
                           bool accelerated) {
    GritUtility ref;
    ref.settings = settings;
    ref.texels = texels;
    ref.gritValues.Resize(texels.ColumnCount(), texels.RowCount(), 0.0f);
    ref.BuildFaceNormals(mesh);
    if (accelerated) ref.BuildRayAccelerator(mesh);
    ref.vertexNormals.Build(mesh);
    InitializeCriticalSection(&ref.workLock);
    SetCrtRandState(1);
    EXPECT_EQ(ref.TexelWorker(mesh, ref.texels, ref.gritValues, 0), 1);
    SetCrtRandState(1);
    EXPECT_EQ(ref.TexelWorker(mesh, ref.texels, ref.gritValues, 1), 1);
    DeleteCriticalSection(&ref.workLock);
    ref.RepairSpeckles();
    ref.DilateCoverage();
    return ref.gritValues;
}

class UvGritThreads : public testing::Test {
protected:
    void SetUp() override {
        GritSettings& s = utility.settings;
        s.XSiz = 16;
        s.YSiz = 13;
        s.horizontalSpread = 5;
        s.verticalSpread = 2;
        s.dist = 3.0f;
        s.mapChannel = 1;
        s.noiseOn = 1;
        s.noiseSize = 1.3f;
        object.mesh = MakeUvOpenBox(4.0f);
        host.selection = {&node};
        // Watches, from inside the workers, which query the run casts with.
        utility.beforeTexelHook = [this](int, int) {
            (utility.rayAccelerator.Built() ? sawAccelerator : sawNoAccelerator).store(true);
        };
    }

    // Runs the map with `threads` workers and the given query; checks the run started that many
    // workers, cast with the query asked for and gave the query back at the end.
    void RunWith(int threads, bool reference) {
        sawAccelerator.store(false);
        sawNoAccelerator.store(false);
        utility.engine.threads = threads;
        utility.engine.reference = reference;
        const size_t written = host.written.size();
        ThreadStartCounter starts;
        utility.GenerateUvGritMap();
        ASSERT_EQ(host.written.size(), written + 1);
        EXPECT_EQ(starts.Attempts(), std::min(threads, utility.settings.YSiz));
        EXPECT_EQ(sawAccelerator.load(), !reference);
        EXPECT_EQ(sawNoAccelerator.load(), reference);
        EXPECT_FALSE(utility.rayAccelerator.Built());
        EXPECT_EQ(utility.vertexNormals.Count(), 0);
        EXPECT_TRUE(host.assertions.empty());
    }

    // Every thread count, with both queries, gives the map of the two-worker layout.
    void ExpectSameMapForEveryThreadCount(const std::vector<std::pair<int, bool>>& engines) {
        ASSERT_FALSE(engines.empty());
        std::vector<std::uint32_t> expected;
        std::vector<BMM_Color_64> firstPixels;
        for (const auto& [threads, reference] : engines) {
            SCOPED_TRACE(testing::Message() << threads << " threads" << (reference ? ", plain scan" : ""));
            RunWith(threads, reference);
            if (expected.empty()) {
                expected = Bits(TwoWorkerMap(utility.settings, object.mesh, utility.texels, true));
                firstPixels = host.written.back().pixels;
                // A map with real variety, so that a wrong draw cannot go unnoticed.
                std::vector<std::uint32_t> distinct = expected;
                std::sort(distinct.begin(), distinct.end());
                ASSERT_GT(std::unique(distinct.begin(), distinct.end()) - distinct.begin(), 10);
            }
            EXPECT_EQ(Bits(utility.gritValues), expected);
            EXPECT_EQ(host.written.back().pixels, firstPixels);
        }
    }

    TestHost host;
    GritUtility utility;
    TestTriObject object;
    TestNode node{"box", &object};
    std::atomic<bool> sawAccelerator{false}, sawNoAccelerator{false};
};

}  // namespace

TEST(TexelRowStates, EachRowStartsWhereTheTwoWorkerLayoutReachesIt) {
    // Rows of every kind: empty, full, coverage naming a face the mesh lacks (no draw), and a
    // mesh of 6 faces.
    std::mt19937 rng(7);
    BArray<TexelRecord> grid = EmptyGrid(9, 11);
    for (unsigned x = 0; x < 9; ++x) {
        for (unsigned y = 0; y < 11; ++y) {
            TexelRecord r;
            r.faceIndex = y == 3 ? -1 : (y == 6 ? 2 : static_cast<int>(rng() % 10) - 2);  // -2 ... 7
            grid.Set(static_cast<int>(x), static_cast<int>(y), r);
        }
    }
    const int faceCount = 6;
    const std::vector<std::uint32_t> states = TexelRowStartStates(grid, faceCount);
    ASSERT_EQ(states.size(), 11u);

    // Replay: each parity one sequence from seed 1, one draw per texel the worker evaluates.
    for (int parity : {0, 1}) {
        SetCrtRandState(1);
        for (int y = parity; y < 11; y += 2) {
            EXPECT_EQ(states[static_cast<size_t>(y)], CrtRandState()) << "row " << y;
            for (int x = 0; x < 9; ++x) {
                const int face = grid.Get(x, y).faceIndex;
                if (face >= 0 && face < faceCount) CrtRand();
            }
        }
    }
    EXPECT_EQ(EvaluatedTexelsInRow(grid, 3, faceCount), 0u);
    EXPECT_EQ(EvaluatedTexelsInRow(grid, 6, faceCount), 9u);
    EXPECT_EQ(EvaluatedTexelsInRow(grid, 6, 2), 0u);  // face 2 of a two-face mesh does not exist
    EXPECT_TRUE(TexelRowStartStates(EmptyGrid(0, 0), 1).empty());
}

TEST(TexelRowStates, WorkerThreadCountFollowsTheRequestTheMachineAndTheWork) {
    const int machine = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    EXPECT_EQ(RunWorkerThreads(3, 100), 3);
    EXPECT_EQ(RunWorkerThreads(0, 100000), machine);
    EXPECT_EQ(RunWorkerThreads(-4, 100000), machine);
    EXPECT_EQ(RunWorkerThreads(8, 5), 5);  // no worker without a row or face
    EXPECT_EQ(RunWorkerThreads(8, 0), 1);  // but always one, so the run ends the usual way
    EXPECT_EQ(RunWorkerThreads(1, 0), 1);
}

TEST(TexelQueueWorker, TakesEveryRowOnceAndRaisesProgressAsItStartsThem) {
    TestHost host;
    GritUtility utility;
    const Mesh mesh = MakeUvOpenBox(4.0f);
    utility.BuildFaceNormals(mesh);
    utility.vertexNormals.Build(mesh);
    utility.texels = EmptyGrid(1, 200);
    utility.gritValues.Resize(1, 200, 0.0f);
    TexelRowQueue rows;
    rows.rowStartStates = TexelRowStartStates(utility.texels, mesh.getNumFaces());
    std::vector<int> visitedRows, published;
    utility.beforeTexelHook = [&](int, int y) {
        visitedRows.push_back(y);
        published.push_back(utility.progressPercent);
    };
    std::atomic<int> done{0};
    GritUtility::TexelRowPlan plan;
    plan.publishesProgress = true;
    plan.doneFlag = &done;
    plan.queue = &rows;
    InitializeCriticalSection(&utility.workLock);
    EXPECT_EQ(utility.TexelRows(mesh, utility.texels, utility.gritValues, plan), 1);
    // A second worker arriving late finds no row left, and leaves the bar where it is.
    EXPECT_EQ(utility.TexelRows(mesh, utility.texels, utility.gritValues, plan), 1);
    DeleteCriticalSection(&utility.workLock);
    std::vector<int> allRows(200), percents;
    for (int y = 0; y < 200; ++y) {
        allRows[static_cast<size_t>(y)] = y;
        percents.push_back(y / 2);
    }
    EXPECT_EQ(visitedRows, allRows);
    EXPECT_EQ(published, percents);
    EXPECT_EQ(utility.progressPercent, 99);
}

TEST_F(UvGritThreads, RunMapIsTheSameForEveryThreadCountAndBothQueries) {
    ExpectSameMapForEveryThreadCount({{2, false}, {1, false}, {3, false}, {8, false}, {1, true}, {3, true}});
}

TEST_F(UvGritThreads, RunMapOfARealMeshIsTheSameForEveryThreadCountAndBothQueries) {
    MURKWELL_REQUIRE_SHARED_MESH(path, "spot.obj");
    ObjScene scene;
    std::string error;
    ASSERT_TRUE(LoadObjScene(path, scene, error)) << error;
    ASSERT_EQ(scene.objects.size(), 1u);
    object.mesh = scene.objects[0].mesh;
    Point3 lo = object.mesh.verts.at(0), hi = lo;
    for (const Point3& p : object.mesh.verts) {
        lo = Point3(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
        hi = Point3(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    GritSettings& s = utility.settings;
    s.XSiz = 32;
    s.YSiz = 32;
    s.horizontalSpread = 8;
    s.verticalSpread = 1;
    s.dist = 0.1f * Length(hi - lo);
    s.noiseOn = 0;
    ExpectSameMapForEveryThreadCount({{2, false}, {1, false}, {3, false}, {8, false}});
    // The plain scan casts every ray against all faces: a smaller map, once.
    s.XSiz = 12;
    s.YSiz = 10;
    ExpectSameMapForEveryThreadCount({{2, false}, {3, true}});
}

TEST_F(UvGritThreads, RunCancelledWithManyWorkersStopsThemAll) {
    utility.engine.threads = 8;
    std::atomic<int> held{0};
    utility.beforeTexelHook = [&](int, int) {
        held.fetch_add(1);
        while (utility.cancelRequested.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    host.cancelAtPoll = 1;
    host.answers = {IDNO};
    utility.GenerateUvGritMap();
    // Every worker was at a texel when the cancel came, and stopped there.
    EXPECT_EQ(held.load(), 8);
    ASSERT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(host.boxes[1].text, "Save Partial Bitmap?");
    EXPECT_TRUE(host.written.empty());
    EXPECT_FALSE(utility.rayAccelerator.Built());
}

TEST_F(UvGritThreads, RunWhoseThirdWorkerCannotStartStopsTheOthersAndGivesEverythingBack) {
    utility.engine.threads = 4;
    ThreadStartCounter starts(2);
    utility.GenerateUvGritMap();
    EXPECT_EQ(starts.Attempts(), 3);
    EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Could not start a worker thread"});
    EXPECT_EQ(host.progressEnds, 1);
    EXPECT_EQ(host.bitmapsCreated, 0);
    EXPECT_FALSE(utility.rayAccelerator.Built());
    EXPECT_EQ(utility.vertexNormals.Count(), 0);
}
