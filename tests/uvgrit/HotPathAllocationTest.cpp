// The per-sample and per-ray path allocates nothing: each worker takes its ray buffer once, and
// the evaluator, both ray queries, the texel loop and the vertex loop work in it and on the
// stack. Checked by counting the calling thread's operator new calls while the path runs.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "host/Platform.h"
#include "plugin/GritUtility.h"
#include "tests/common/TestHost.h"
#include "tests/uvgrit/AllocationCounter.h"
#include "tests/uvgrit/UvTestSupport.h"
#include "uvgrit/TexelRowStates.h"
#include "uvgrit/TexelWorkers.h"
#include "vertexgrit/VertexGritSum.h"
#include "vertexgrit/VertexWorker.h"
#include "vertexgrit/WorkerPool.h"

namespace {

class HotPathAllocation : public testing::Test {
protected:
    void Prepare(const Mesh& m, bool reference) {
        mesh = m;
        GritSettings& s = utility.settings;
        s.horizontalSpread = 8;
        s.verticalSpread = 2;
        s.dist = 3.0f;
        s.noiseOn = 1;
        s.noiseSize = 1.1f;
        utility.engine.reference = reference;
        utility.BuildFaceNormals(mesh);
        utility.BuildRayAccelerator(mesh);
        utility.vertexNormals.Build(mesh);
        ASSERT_EQ(utility.rayAccelerator.Built(), !reference);
    }
    void TearDown() override {
        utility.vertexNormals.Clear();
        utility.ReleaseRayAccelerator();
    }

    // Allocations of one texel worker over a w x h map of the prepared mesh.
    long TexelWorkerAllocations(int w, int h) {
        BArray<TexelRecord> texels = EmptyGrid(w, h);
        for (int f = 0; f < mesh.getNumFaces(); ++f) {
            const TVFace& tf = mesh.mapFaces(1)[f];
            utility.RasterizeUvFace(texels, mesh.mapVerts(1)[tf.t[0]], mesh.mapVerts(1)[tf.t[1]],
                                    mesh.mapVerts(1)[tf.t[2]], f);
        }
        utility.texels = texels;
        utility.gritValues.Resize(static_cast<unsigned>(w), static_cast<unsigned>(h), 0.0f);
        TexelRowQueue rows;
        rows.rowStartStates = TexelRowStartStates(utility.texels, mesh.getNumFaces());
        InitializeCriticalSection(&utility.workLock);
        AllocationCount count;
        EXPECT_EQ(utility.TexelWorker(mesh, utility.texels, utility.gritValues, rows), 1);
        const long n = count.Stop();
        DeleteCriticalSection(&utility.workLock);
        EXPECT_GT(CoveredCount(utility.texels), w * h / 4);
        return n;
    }

    // Allocations of one vertex worker over every face of `m`.
    long VertexWorkerAllocations(const Mesh& m) {
        Prepare(m, false);
        utility.settings.algorithm = ALGORITHM_VERTEX_COLORS;
        std::vector<float> values(static_cast<size_t>(mesh.getNumFaces()));
        vertexFaceValues = values.data();
        vertexFaceValueCount = static_cast<int>(values.size());
        utility.currentMesh = &mesh;
        WorkerPool pool(VertexGritThread, &utility);
        pool.SetThreadCount(1);
        WorkerJob job{&pool, 0, &utility};
        InitializeCriticalSection(&utility.workLock);
        AllocationCount count;
        utility.ProcessVertexJob(&job);
        const long n = count.Stop();
        DeleteCriticalSection(&utility.workLock);
        EXPECT_EQ(pool.Done(), mesh.getNumFaces());
        utility.currentMesh = nullptr;
        vertexFaceValues = nullptr;
        vertexFaceValueCount = 0;
        return n;
    }

    TestHost host;
    GritUtility utility;
    Mesh mesh;
};

TEST_F(HotPathAllocation, EvaluatorAllocatesNothingWithEitherQuery) {
    for (bool reference : {false, true}) {
        SCOPED_TRACE(reference ? "plain scan" : "accelerated");
        Prepare(MakeUvOpenBox(4.0f), reference);
        std::vector<Ray> rays(static_cast<size_t>(utility.RayCount()));
        float total = 0.0f;
        AllocationCount count;
        for (int f = 0; f < mesh.getNumFaces(); ++f)
            for (float w : {0.2f, 0.6f}) total += utility.EvaluateGrit(mesh, f, Point3(w, 0.3f, 0.7f - w), rays.data());
        EXPECT_EQ(count.Stop(), 0);
        EXPECT_GT(total, 0.0f);  // rays met the walls
    }
}

TEST_F(HotPathAllocation, TexelWorkerAllocatesOnlyItsRayBuffer) {
    Prepare(MakeUvOpenBox(4.0f), false);
    const long small = TexelWorkerAllocations(4, 4);
    const long large = TexelWorkerAllocations(24, 20);
    EXPECT_EQ(small, large);  // nothing per texel
    EXPECT_EQ(large, 1);  // the ray buffer, taken once (and proof that the count sees allocations)
}

TEST_F(HotPathAllocation, VertexWorkerAllocatesOnlyItsRayBuffer) {
    const long small = VertexWorkerAllocations(MakeUvSheet(1, 1));
    const long large = VertexWorkerAllocations(MakeUvOpenBox(4.0f));
    EXPECT_EQ(small, large);  // nothing per face
    EXPECT_EQ(large, 1);  // the ray buffer, taken once (and proof that the count sees allocations)
}

}  // namespace
