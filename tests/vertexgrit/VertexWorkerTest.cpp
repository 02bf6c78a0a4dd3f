#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "plugin/GritUtility.h"
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

// Sets up what a run provides before its workers start (mesh, table, lock) and a recording
// evaluator that returns a known value per face; takes it all down again.
class VertexWorkerTest : public ::testing::Test {
protected:
    void Prepare(Mesh& mesh) {
        utility.currentMesh = &mesh;
        table.assign(static_cast<size_t>(mesh.getNumVerts()), VertexGritSum{});
        vertexGritSums = table.data();
        vertexGritSumCount = static_cast<int>(table.size());
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
        vertexGritSums = nullptr;
        vertexGritSumCount = 0;
        utility.currentMesh = nullptr;
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
    GritUtility utility;
    std::vector<VertexGritSum> table;
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
    // Vertex 2 lies on faces 0, 1 and 2; vertex 6 only on face 4.
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
    for (int v = 0; v < 7; ++v) EXPECT_EQ(table[static_cast<size_t>(v)].count, (v >= 3 && v <= 5) ? 1 : 0) << v;
}

TEST_F(VertexWorkerTest, AFaceNamingAVertexTwiceAddsTwice) {
    Mesh mesh;
    for (int i = 0; i < 3; ++i) AddVertex(mesh, Point3(static_cast<float>(i), 0.0f, 0.0f));
    AddFace(mesh, 0, 2, 0);
    Prepare(mesh);
    WorkerPool pool(VertexGritThread, &utility);
    RunPool(pool, 2);
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
    EXPECT_EQ(table[3].count, 0);
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
    EXPECT_EQ(table[0].count, 1);
    EXPECT_EQ(table[2].count, 1);
}

TEST_F(VertexWorkerTest, NoFacesFinishesAtOnce) {
    Mesh mesh;
    AddVertex(mesh, Point3());
    Prepare(mesh);
    WorkerPool pool(VertexGritThread, &utility);
    RunPool(pool, 2);
    EXPECT_TRUE(evaluations.empty());
    EXPECT_EQ(pool.Done(), 0);
    EXPECT_EQ(table[0].count, 0);
}

TEST_F(VertexWorkerTest, VertexOutsideTheTableIsReportedNotWritten) {
    Mesh mesh = StripMesh(2);
    Prepare(mesh);
    vertexGritSumCount = 3;  // vertex 3 of face 1 has no record
    WorkerPool pool(VertexGritThread, &utility);
    pool.SetThreadCount(1);
    WorkerJob job{&pool, 0, &utility};
    utility.ProcessVertexJob(&job);
    EXPECT_EQ(pool.Done(), 2);
    EXPECT_EQ(table[3].count, 0);
    EXPECT_EQ(table[2].count, 2);
    ASSERT_EQ(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions[0].second, "VertexWorker");
}
