// The UV Map run on any number of worker threads: the generator state each row starts from, maps
// that are the same bit for bit for every thread count and for the accelerated query and the
// plain scan, a cancel in the middle of the rows, and worker starts that fail or throw.
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
#include "uvgrit/GritBitmap.h"
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
        WatchTheQuery();
    }
    // Watches, from inside the workers, which query the run casts with.
    void WatchTheQuery() {
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

    // Every thread count, with both queries, gives the map worked out on the test's thread.
    void ExpectSameMapForEveryThreadCount(const std::vector<std::pair<int, bool>>& engines) {
        ASSERT_FALSE(engines.empty());
        std::vector<std::uint32_t> expected;
        std::vector<BMM_Color_64> firstPixels;
        for (const auto& [threads, reference] : engines) {
            SCOPED_TRACE(testing::Message() << threads << " threads" << (reference ? ", plain scan" : ""));
            RunWith(threads, reference);
            if (expected.empty()) {
                expected = Bits(SequentialTexelValues(utility.settings, object.mesh, utility.texels, true, true));
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
    // mesh of 6 faces; tall enough for the rows to be counted in several chunks.
    constexpr int kWidth = 9, kHeight = 203;
    std::mt19937 rng(7);
    BArray<TexelRecord> grid = EmptyGrid(kWidth, kHeight);
    for (unsigned x = 0; x < kWidth; ++x) {
        for (unsigned y = 0; y < kHeight; ++y) {
            TexelRecord r;
            r.faceIndex = y == 3 ? -1 : (y == 6 ? 2 : static_cast<int>(rng() % 10) - 2);  // -2 ... 7
            grid.Set(static_cast<int>(x), static_cast<int>(y), r);
        }
    }
    const int faceCount = 6;
    for (int threads : {1, 2, 3, 8}) {
        SCOPED_TRACE(threads);
        const std::vector<std::uint32_t> states = TexelRowStartStates(grid, faceCount, threads);
        ASSERT_EQ(states.size(), size_t(kHeight));
        // Replay: each parity one sequence from seed 1, one draw per texel a worker evaluates,
        // the rows of the parity in order.
        for (int parity : {0, 1}) {
            SetCrtRandState(1);
            for (int y = parity; y < kHeight; y += 2) {
                EXPECT_EQ(states[static_cast<size_t>(y)], CrtRandState()) << "row " << y;
                for (int x = 0; x < kWidth; ++x) {
                    const int face = grid.Get(x, y).faceIndex;
                    if (face >= 0 && face < faceCount) CrtRand();
                }
            }
        }
    }
    EXPECT_EQ(EvaluatedTexelsInRow(grid, 3, faceCount), 0u);
    EXPECT_EQ(EvaluatedTexelsInRow(grid, 6, faceCount), 9u);
    EXPECT_EQ(EvaluatedTexelsInRow(grid, 6, 2), 0u);  // face 2 of a two-face mesh does not exist
    EXPECT_TRUE(TexelRowStartStates(EmptyGrid(0, 0), 1).empty());
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

TEST_F(UvGritThreads, RunCancelledInTheMiddleOfTheRowsKeepsExactlyWhatWasReached) {
    // Three workers; the one in row 5 stops before its texel 4, the others at the first texel of
    // a later row. The host cancels once all three are held there, so what was reached does not
    // depend on the machine's speed: every texel before (4, 5) in row order.
    constexpr int kWorkers = 3, kRow = 5, kColumn = 4;
    const auto reached = [](int x, int y) { return y < kRow || (y == kRow && x < kColumn); };
    std::atomic<int> held{0};
    utility.beforeTexelHook = [&](int x, int y) {
        if (reached(x, y)) return;
        held.fetch_add(1);
        while (utility.cancelRequested.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    host.cancelWhen = [&] { return held.load() == kWorkers; };
    host.answers = {IDYES};
    utility.engine.threads = kWorkers;
    utility.GenerateUvGritMap();
    ASSERT_EQ(host.BoxTexts().size(), 2u);
    EXPECT_EQ(host.BoxTexts()[1], "Save Partial Bitmap?");
    ASSERT_EQ(host.written.size(), 1u);
    EXPECT_EQ(held.load(), kWorkers);

    // The uncancelled run's values where the workers got to, 0 everywhere else; then the
    // finishing passes over that, as the run makes them over its partial grid.
    const BArray<float> full = SequentialTexelValues(utility.settings, object.mesh, utility.texels, true, false);
    GritUtility partial;
    partial.texels = utility.texels;
    partial.gritValues = full;
    int kept = 0;
    for (int y = 0; y < utility.settings.YSiz; ++y) {
        for (int x = 0; x < utility.settings.XSiz; ++x) {
            if (!reached(x, y)) partial.gritValues.Set(x, y, 0.0f);
            kept += reached(x, y) && full.Get(x, y) > 0.0f ? 1 : 0;
        }
    }
    ASSERT_GT(kept, 20);  // real values were kept
    partial.RepairSpeckles();
    partial.DilateCoverage();
    EXPECT_EQ(Bits(utility.gritValues), Bits(partial.gritValues));
    for (int y = 0; y < utility.settings.YSiz; ++y) {
        for (int x = 0; x < utility.settings.XSiz; ++x) {
            const std::uint16_t g = GreyLevel(partial.gritValues.Get(x, y));
            EXPECT_EQ(host.written[0].At(x, y), (BMM_Color_64{g, g, g, 65535})) << x << "," << y;
        }
    }
    // Rows two or more below the stop have no reached neighbour: nothing but 0 can be there.
    for (int y = kRow + 2; y < utility.settings.YSiz; ++y)
        for (int x = 0; x < utility.settings.XSiz; ++x) EXPECT_EQ(utility.gritValues.Get(x, y), 0.0f) << x << "," << y;
}

// A worker start that fails or throws, at the first, a middle or the last worker: the workers
// already going are stopped and waited for while everything they use stays, the user is told and
// nothing is written; the next run starts normally.
TEST_F(UvGritThreads, RunWithAWorkerThatCannotStartEndsInOrderWhereverItFails) {
    constexpr int kWorkers = 3;
    utility.engine.threads = kWorkers;
    std::atomic<int> entered{0}, left{0};
    utility.beforeTexelHook = [&](int, int) {
        // A started worker stays at its first texel until the run stops it, and takes a moment
        // more to leave, so a run that did not wait for it would end first.
        entered.fetch_add(1);
        while (utility.cancelRequested.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        left.fetch_add(1);
    };
    for (const ThreadStartFault fault :
         {ThreadStartFault::kFail, ThreadStartFault::kThrowBadAlloc, ThreadStartFault::kThrowOther}) {
        for (int failing = 0; failing < kWorkers; ++failing) {
            SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(fault) << " at start " << failing);
            host.boxes.clear();
            entered.store(0);
            left.store(0);
            const int endsBefore = host.progressEnds;
            std::atomic<int> attempts{0};
            SetThreadStartFaultHook([&, fault, failing](int attempt) {
                attempts.fetch_add(1);
                return attempt == failing ? fault : ThreadStartFault::kNone;
            });
            utility.GenerateUvGritMap();
            SetThreadStartFaultHook({});
            EXPECT_EQ(attempts.load(), failing + 1);  // no start after the one that failed
            EXPECT_EQ(left.load(), failing);           // every started worker had left
            EXPECT_EQ(entered.load(), failing);
            EXPECT_EQ(host.BoxTexts(), std::vector<std::string>{"Could not start a worker thread"});
            EXPECT_EQ(host.progressEnds, endsBefore + 1);
            EXPECT_EQ(host.bitmapsCreated, 0);
            EXPECT_FALSE(utility.rayAccelerator.Built());
            EXPECT_EQ(utility.vertexNormals.Count(), 0);
        }
    }
    WatchTheQuery();
    RunWith(kWorkers, false);
}
