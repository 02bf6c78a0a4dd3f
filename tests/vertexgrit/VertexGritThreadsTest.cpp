// The Vertex Colors run on any number of worker threads: faces dealt out by index modulo the
// thread count, colours that are the same bit for bit for every thread count, and face values
// that are the same bit for bit with the accelerated query and the plain scan.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <tuple>
#include <vector>

#include "host/Platform.h"
#include "plugin/GritUtility.h"
#include "standalone/ObjScene.h"
#include "tests/common/TestHost.h"
#include "tests/common/TestMeshes.h"
#include "tests/common/TestPaths.h"
#include "vertexgrit/VertexWorker.h"

namespace {

const Point3 kCentroid(kCentroidWeight, kCentroidWeight, kCentroidWeight);

bool LoadSharedMesh(const std::string& path, Mesh& mesh) {
    ObjScene scene;
    std::string error;
    if (!LoadObjScene(path, scene, error) || scene.objects.size() != 1) return false;
    mesh = scene.objects[0].mesh;
    return true;
}

// The grey level of every vertex computed on this thread: the faces in index order, each
// value added to its corners in corner order, then 1 - mean (white where no face was evaluated).
std::vector<float> SequentialLevels(const GritSettings& settings, const Mesh& mesh) {
    GritUtility ref;
    ref.settings = settings;
    ref.BuildFaceNormals(mesh);
    ref.BuildRayAccelerator(mesh);
    ref.vertexNormals.Build(mesh);
    std::vector<Ray> rays(static_cast<size_t>(ref.RayCount()));
    std::vector<int> count(static_cast<size_t>(mesh.getNumVerts()), 0);
    std::vector<float> sum(count.size(), 0.0f);
    for (int f = 0; f < mesh.getNumFaces(); ++f) {
        const float g = ref.EvaluateGrit(mesh, f, kCentroid, rays.data());
        for (int k = 0; k < 3; ++k) {
            const DWORD v = mesh.faces[static_cast<size_t>(f)].v[k];
            count[v] += 1;
            sum[v] += g;
        }
    }
    std::vector<float> levels;
    for (size_t v = 0; v < count.size(); ++v) {
        float mean = count[v] > 0 ? sum[v] / static_cast<float>(count[v]) : sum[v];
        mean = std::clamp(mean, 0.0f, 1.0f);
        levels.push_back(1.0f - mean);
    }
    ref.vertexNormals.Clear();
    return levels;
}

class VertexGritThreads : public testing::Test {
protected:
    VertexGritThreads() {
        GritSettings& s = utility.settings;
        s.algorithm = ALGORITHM_VERTEX_COLORS;
        s.horizontalSpread = 8;
        s.verticalSpread = 1;
        s.dist = 3.0f;
        s.selectedOnly = 0;
        s.addVertexColors = 0;
        host.selection = {&node};
    }
    ~VertexGritThreads() override { SetVertexFaceEvaluator({}); }

    // One run in replace mode on a fresh copy of `mesh`; returns the colours it wrote.
    std::vector<Point3> RunWith(const Mesh& mesh, int threads, bool reference) {
        object.mesh = mesh;
        object.mesh.vertCol.clear();
        object.mesh.setNumVCFaces(0);
        utility.engine.threads = threads;
        utility.engine.reference = reference;
        utility.BuildVertexGrit();
        EXPECT_FALSE(utility.rayAccelerator.Built());  // given back with the run's other tables
        EXPECT_EQ(utility.vertexNormals.Count(), 0);
        EXPECT_TRUE(host.assertions.empty());
        return object.mesh.vertCol;
    }

    // Runs `mesh` with `threads` workers through an evaluator seam that records, per face, the
    // slot and the thread count that evaluated it and the evaluator's value, and whether the
    // accelerated query was built while the workers ran.
    struct Evaluations {
        std::vector<float> values;
        std::vector<int> slot, slotCount, times;
        bool sawAccelerator = false, sawNoAccelerator = false;
    };
    Evaluations RunRecording(const Mesh& mesh, int threads, bool reference) {
        Evaluations e;
        const size_t faces = static_cast<size_t>(mesh.getNumFaces());
        e.values.assign(faces, -1.0f);
        e.slot.assign(faces, -1);
        e.slotCount.assign(faces, -1);
        e.times.assign(faces, 0);
        std::mutex m;
        SetVertexFaceEvaluator([&](const Mesh& current, int face, const WorkerJob& job) {
            thread_local std::vector<Ray> rays;
            rays.resize(static_cast<size_t>(utility.RayCount()));
            const float g = utility.EvaluateGrit(current, face, kCentroid, rays.data());
            const bool built = utility.rayAccelerator.Built();
            std::lock_guard<std::mutex> lock(m);
            const size_t f = static_cast<size_t>(face);
            e.values[f] = g;
            e.slot[f] = job.index;
            e.slotCount[f] = job.pool->ThreadCount();
            e.times[f] += 1;
            (built ? e.sawAccelerator : e.sawNoAccelerator) = true;
            return g;
        });
        RunWith(mesh, threads, reference);
        SetVertexFaceEvaluator({});
        return e;
    }

    TestHost host;
    GritUtility utility;
    TestTriObject object;
    TestNode node{"mesh", &object};
};

std::vector<std::uint32_t> Bits(const std::vector<float>& values) {
    std::vector<std::uint32_t> bits;
    for (float v : values) bits.push_back(std::bit_cast<std::uint32_t>(v));
    return bits;
}

}  // namespace

TEST_F(VertexGritThreads, RunDealsFacesByIndexModuloTheThreadCount) {
    const Mesh box = MakeOpenBox(4.0f);
    const int faces = box.getNumFaces();
    ASSERT_GT(faces, 8);
    for (int threads : {1, 3, 8}) {
        SCOPED_TRACE(threads);
        const Evaluations e = RunRecording(box, threads, false);
        for (int f = 0; f < faces; ++f) {
            const size_t i = static_cast<size_t>(f);
            EXPECT_EQ(e.times[i], 1) << f;
            EXPECT_EQ(e.slotCount[i], threads) << f;
            EXPECT_EQ(e.slot[i], f % threads) << f;
        }
    }
    // More threads than faces: one per face.
    const Mesh five = [] {
        Mesh m = MakeOpenBox(4.0f);
        m.setNumFaces(5);
        return m;
    }();
    const Evaluations e = RunRecording(five, 8, false);
    for (int f = 0; f < 5; ++f) EXPECT_EQ(e.slotCount[static_cast<size_t>(f)], 5) << f;
}

TEST_F(VertexGritThreads, RunFaceValuesAreTheSameWithTheAcceleratedQueryAndThePlainScan) {
    Mesh mesh = MakeOpenBox(4.0f);
    const std::string path = SharedMeshPath("spot_control_mesh.obj");
    if (!path.empty()) {
        ASSERT_TRUE(LoadSharedMesh(path, mesh));
        utility.settings.dist = 0.4f;
    }
    const Evaluations fast = RunRecording(mesh, 3, false);
    const Evaluations scan = RunRecording(mesh, 3, true);
    EXPECT_TRUE(fast.sawAccelerator);
    EXPECT_FALSE(fast.sawNoAccelerator);
    EXPECT_TRUE(scan.sawNoAccelerator);
    EXPECT_FALSE(scan.sawAccelerator);
    EXPECT_EQ(Bits(fast.values), Bits(scan.values));
    const auto hits = std::count_if(fast.values.begin(), fast.values.end(), [](float v) { return v > 0.0f; });
    EXPECT_GT(hits, 4);  // values with hits, not only open surface
}

TEST_F(VertexGritThreads, RunColoursAreTheSameBitForBitForEveryThreadCount) {
    Mesh mesh = MakeOpenBox(4.0f);
    const std::string path = SharedMeshPath("spot.obj");
    if (!path.empty()) {
        ASSERT_TRUE(LoadSharedMesh(path, mesh));
        utility.settings.dist = 0.3f;
    }
    const std::vector<float> levels = SequentialLevels(utility.settings, mesh);
    ASSERT_EQ(levels.size(), static_cast<size_t>(mesh.getNumVerts()));
    ASSERT_GT(std::count_if(levels.begin(), levels.end(), [](float v) { return v < 1.0f; }), 4);

    for (int threads : {1, 2, 3, 8}) {
        SCOPED_TRACE(threads);
        const std::vector<Point3> colours = RunWith(mesh, threads, false);
        ASSERT_EQ(colours.size(), levels.size());
        // Whatever the thread count, each vertex adds its faces' values in face order, exactly as
        // the sequential sums do.
        int wrong = 0;
        for (size_t v = 0; v < levels.size(); ++v) {
            const std::uint32_t level = std::bit_cast<std::uint32_t>(levels[v]);
            wrong += std::bit_cast<std::uint32_t>(colours[v].x) != level || std::bit_cast<std::uint32_t>(colours[v].y) != level ||
                             std::bit_cast<std::uint32_t>(colours[v].z) != level
                         ? 1
                         : 0;
        }
        EXPECT_EQ(wrong, 0);
    }
}
