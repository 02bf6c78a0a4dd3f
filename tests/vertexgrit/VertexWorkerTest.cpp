#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <mutex>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"
#include "tests/common/TestHost.h"
#include "tests/common/TestMeshes.h"
#include "vertexgrit/VertexGritSum.h"
#include "vertexgrit/VertexWorker.h"
#include "vertexgrit/WorkerPool.h"

namespace {

// n faces over a strip of vertices: face f = (f, f + 1, f + 2).
Mesh StripMesh(int faces) {
    Mesh mesh;
    for (int i = 0; i < faces + 2; ++i) AddVertex(mesh, Point3(static_cast<float>(i), static_cast<float>(i % 2), 0.0f));
    for (int f = 0; f < faces; ++f) AddFace(mesh, f, f + 1, f + 2);
    return mesh;
}

// Sets up what a run provides before its workers start (mesh, face values, lock) and a recording
// evaluator that returns a known value per face; takes it all down again.
class VertexWorkerTest : public ::testing::Test {
protected:
    void Prepare(Mesh& mesh) {
        utility.currentMesh = &mesh;
        values.assign(static_cast<size_t>(mesh.getNumFaces()), kNoValue);
        vertexFaceValues = values.data();
        vertexFaceValueCount = static_cast<int>(values.size());
        InitializeCriticalSection(&utility.workLock);
        SetVertexFaceEvaluator([this](const Mesh&, int face, const WorkerJob& job) {
            std::lock_guard<std::mutex> lock(recordMutex);
            evaluations.emplace_back(job.index, face);
            if (onEvaluate) onEvaluate(face, job);
            return FaceValue(face);
        });
    }
    void TearDown() override {
        SetVertexFaceEvaluator({});
        if (utility.workLock.m) DeleteCriticalSection(&utility.workLock);
        vertexFaceValues = nullptr;
        vertexFaceValueCount = 0;
        utility.currentMesh = nullptr;
    }
    // The totals of the prepared mesh from the stored face values.
    std::vector<VertexGritSum> Sums(bool selectedOnly = false) {
        const Mesh& mesh = *utility.currentMesh;
        std::vector<VertexGritSum> table(static_cast<size_t>(mesh.getNumVerts()));
        SumFaceValues(mesh, values.data(), selectedOnly, table.data(), static_cast<int>(table.size()), 2);
        return table;
    }
    // Runs the pool's threads over the prepared mesh and waits for them.
    void RunPool(WorkerPool& pool, int threads) {
        pool.SetTotal(utility.currentMesh->getNumFaces());
        pool.SetDone(0);
        pool.SetThreadCount(threads);
        pool.Start();
        ASSERT_TRUE(pool.WaitForIdle(10000));
    }
    static float FaceValue(int face) { return 0.125f * static_cast<float>(face + 1); }
    std::set<std::pair<int, int>> EvaluatedSet() {
        std::lock_guard<std::mutex> lock(recordMutex);
        return {evaluations.begin(), evaluations.end()};
    }

    TestHost host;
    static constexpr float kNoValue = -1.0f;
    GritUtility utility;
    std::vector<float> values;
    std::mutex recordMutex;
    std::vector<std::pair<int, int>> evaluations;  // (slot, face)
    std::function<void(int face, const WorkerJob& job)> onEvaluate;
};

}  // namespace

TEST_F(VertexWorkerTest, TwoThreadsDealFacesByParity) {
    Mesh mesh = StripMesh(5);
    Prepare(mesh);
    WorkerPool pool(VertexGritThread, &utility);
    RunPool(pool, 2);

    EXPECT_EQ(EvaluatedSet(), (std::set<std::pair<int, int>>{{0, 0}, {0, 2}, {0, 4}, {1, 1}, {1, 3}}));
    EXPECT_EQ(evaluations.size(), 5u);
    EXPECT_EQ(pool.Done(), 5);
    EXPECT_EQ(pool.RunningCount(), 0);
    for (int f = 0; f < 5; ++f) EXPECT_EQ(values[static_cast<size_t>(f)], FaceValue(f)) << f;
    // Vertex 2 lies on faces 0, 1 and 2; vertex 6 only on face 4.
    const std::vector<VertexGritSum> table = Sums();
    EXPECT_EQ(table[2].count, 3);
    EXPECT_EQ(table[2].sum, FaceValue(0) + FaceValue(1) + FaceValue(2));  // eighths: exact in any order
    EXPECT_EQ(table[6].count, 1);
    EXPECT_EQ(table[6].sum, FaceValue(4));
    EXPECT_EQ(table[0].count, 1);
}

TEST_F(VertexWorkerTest, SelectedOnlyEvaluatesTheSelectedFaceInItsThread) {
    Mesh mesh = StripMesh(5);
    mesh.FaceSel().Set(3);
    utility.settings.selectedOnly = 1;
    Prepare(mesh);
    WorkerPool pool(VertexGritThread, &utility);
    RunPool(pool, 2);

    EXPECT_EQ(EvaluatedSet(), (std::set<std::pair<int, int>>{{1, 3}}));
    EXPECT_EQ(pool.Done(), 1);
    EXPECT_EQ(pool.Total(), 5);
    for (int f = 0; f < 5; ++f) EXPECT_EQ(values[static_cast<size_t>(f)], f == 3 ? FaceValue(3) : kNoValue) << f;
    const std::vector<VertexGritSum> table = Sums(true);
    for (int v = 0; v < 7; ++v) EXPECT_EQ(table[static_cast<size_t>(v)].count, (v >= 3 && v <= 5) ? 1 : 0) << v;
}

TEST_F(VertexWorkerTest, AFaceNamingAVertexTwiceAddsTwice) {
    Mesh mesh;
    for (int i = 0; i < 3; ++i) AddVertex(mesh, Point3(static_cast<float>(i), 0.0f, 0.0f));
    AddFace(mesh, 0, 2, 0);
    Prepare(mesh);
    WorkerPool pool(VertexGritThread, &utility);
    RunPool(pool, 2);
    const std::vector<VertexGritSum> table = Sums();
    EXPECT_EQ(table[0].count, 2);
    EXPECT_EQ(table[0].sum, 2.0f * FaceValue(0));
    EXPECT_EQ(table[1].count, 0);
    EXPECT_EQ(table[2].count, 1);
}

TEST_F(VertexWorkerTest, StopRaisedBeforeTheFirstSelectedFaceEvaluatesNothing) {
    Mesh mesh = StripMesh(5);
    mesh.FaceSel().Set(3);
    utility.settings.selectedOnly = 1;
    Prepare(mesh);
    WorkerPool pool(VertexGritThread, &utility);
    pool.SetTotal(5);
    pool.SetThreadCount(2);
    pool.SetStop(true);
    // Run slot 1's share on this thread: face 1 is passed over, face 3 meets the stop flag.
    WorkerJob job{&pool, 1, &utility};
    utility.ProcessVertexJob(&job);
    EXPECT_TRUE(evaluations.empty());
    EXPECT_EQ(pool.Done(), 0);
    EXPECT_EQ(values[3], kNoValue);
}

TEST_F(VertexWorkerTest, StopDuringAnEvaluationStoresItAndLeavesAtTheNextFace) {
    Mesh mesh = StripMesh(6);
    Prepare(mesh);
    WorkerPool pool(VertexGritThread, &utility);
    pool.SetTotal(6);
    pool.SetThreadCount(2);
    onEvaluate = [](int, const WorkerJob& job) { job.pool->SetStop(true); };
    WorkerJob job{&pool, 0, &utility};
    utility.ProcessVertexJob(&job);
    EXPECT_EQ(evaluations, (std::vector<std::pair<int, int>>{{0, 0}}));
    EXPECT_EQ(pool.Done(), 1);
    EXPECT_EQ(values[0], FaceValue(0));
    EXPECT_EQ(values[2], kNoValue);
}

TEST_F(VertexWorkerTest, NoFacesFinishesAtOnce) {
    Mesh mesh;
    AddVertex(mesh, Point3());
    Prepare(mesh);
    WorkerPool pool(VertexGritThread, &utility);
    RunPool(pool, 2);
    EXPECT_TRUE(evaluations.empty());
    EXPECT_EQ(pool.Done(), 0);
    EXPECT_EQ(Sums()[0].count, 0);
}

TEST_F(VertexWorkerTest, FaceWithoutAPlaceForItsValueIsReported) {
    Mesh mesh = StripMesh(3);
    Prepare(mesh);
    vertexFaceValueCount = 2;  // face 2 has no place
    WorkerPool pool(VertexGritThread, &utility);
    pool.SetThreadCount(1);
    WorkerJob job{&pool, 0, &utility};
    utility.ProcessVertexJob(&job);
    EXPECT_EQ(pool.Done(), 3);
    EXPECT_EQ(values[2], kNoValue);
    ASSERT_EQ(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions[0].second, "VertexWorker");
}

TEST_F(VertexWorkerTest, RayBufferThatCannotBeHadStopsTheRunAndSaysWhy) {
    Mesh mesh = StripMesh(6);
    Prepare(mesh);
    WorkerPool pool(VertexGritThread, &utility);
    pool.SetTotal(6);
    SetRayBufferFailureHook([](int attempt) { return attempt == 1; });  // the second worker's
    RunPool(pool, 2);
    SetRayBufferFailureHook({});
    EXPECT_EQ(utility.vertexWorkerFailed.load(), 1);
    EXPECT_TRUE(pool.StopRequested());
    EXPECT_TRUE(host.assertions.empty());
}

TEST(VertexGritSums, VertexOutsideTheTableIsReportedNotWritten) {
    TestHost host;
    Mesh mesh = StripMesh(2);  // faces (0, 1, 2) and (1, 2, 3)
    const std::vector<float> values = {0.25f, 0.5f};
    std::vector<VertexGritSum> table(4);
    SumFaceValues(mesh, values.data(), false, table.data(), 3, 1);  // vertex 3 has no record
    EXPECT_EQ(table[2].count, 2);
    EXPECT_EQ(table[2].sum, 0.75f);
    EXPECT_EQ(table[3].count, 0);
    ASSERT_EQ(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions[0].second, "VertexWorker");
}

// The totals come out of the face values in face order, bit for bit, however the vertices are
// shared out: values that do not add up exactly, at vertices with many faces, on a mesh large
// enough for several chunks.
TEST(VertexGritSums, SumsAreInFaceOrderForAnyThreadCount) {
    Mesh mesh;
    const int hubs = 50;
    for (int v = 0; v < 30000; ++v) AddVertex(mesh, Point3(static_cast<float>(v), 0.0f, 0.0f));
    std::mt19937 rng(11);
    mesh.setNumFaces(40000);
    for (Face& face : mesh.faces) {
        const int hub = static_cast<int>(rng() % hubs);  // a few vertices on many faces
        face.setVerts(hub, hubs + static_cast<int>(rng() % 29950), hubs + static_cast<int>(rng() % 29950));
    }
    mesh.FaceSel().ClearAll();
    for (int f = 0; f < 40000; f += 3) mesh.FaceSel().Set(f);
    std::uniform_real_distribution<float> value(0.0f, 1.0f);
    std::vector<float> values(40000);
    for (float& v : values) v = value(rng);

    for (const bool selectedOnly : {false, true}) {
        std::vector<VertexGritSum> expected(30000);
        for (int f = 0; f < 40000; ++f) {
            if (selectedOnly && f % 3 != 0) continue;
            for (int k = 0; k < 3; ++k) {
                VertexGritSum& r = expected[mesh.faces[static_cast<size_t>(f)].v[k]];
                r.count += 1;
                r.sum += values[static_cast<size_t>(f)];
            }
        }
        for (int threads : {1, 2, 3, 8}) {
            SCOPED_TRACE(testing::Message() << threads << " threads" << (selectedOnly ? ", selected only" : ""));
            std::vector<VertexGritSum> table(30000);
            SumFaceValues(mesh, values.data(), selectedOnly, table.data(), 30000, threads);
            int wrong = 0;
            for (size_t v = 0; v < table.size(); ++v) {
                wrong += table[v].count != expected[v].count ||
                                 std::bit_cast<std::uint32_t>(table[v].sum) != std::bit_cast<std::uint32_t>(expected[v].sum)
                             ? 1
                             : 0;
            }
            EXPECT_EQ(wrong, 0);
        }
    }
}
