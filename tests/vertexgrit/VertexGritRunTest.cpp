#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <regex>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "host/Platform.h"
#include "plugin/GritUtility.h"
#include "plugin/WorkerThreads.h"
#include "tests/common/TestHost.h"
#include "tests/common/TestMeshes.h"
#include "vertexgrit/VertexColors.h"
#include "vertexgrit/VertexGritSum.h"
#include "vertexgrit/VertexWorker.h"

namespace {

float FaceValue(int face) { return 0.125f * static_cast<float>(face % 7 + 1); }

// The cube plus one vertex that no face uses.
Mesh CubeWithLooseVertex() {
    Mesh mesh = MakeUnitCube();
    AddVertex(mesh, Point3(5.0f, 5.0f, 5.0f));
    return mesh;
}

// 1 - mean of FaceValue over the faces at each vertex that `evaluated` admits; 1 at a vertex
// whose faces were all left out; `loose` at a vertex on no face at all, whose colour nothing
// writes (after a reset it stays black).
std::vector<float> ExpectedLevels(const Mesh& mesh, const std::set<int>& evaluated, float loose = 0.0f) {
    std::vector<int> count(static_cast<size_t>(mesh.getNumVerts()), 0);
    std::vector<float> sum(count.size(), 0.0f);
    std::vector<bool> onAFace(count.size(), false);
    for (int f = 0; f < mesh.getNumFaces(); ++f) {
        for (int k = 0; k < 3; ++k) {
            const DWORD v = mesh.faces[static_cast<size_t>(f)].v[k];
            onAFace[v] = true;
            if (!evaluated.count(f)) continue;
            count[v]++;
            sum[v] += FaceValue(f);  // eighths: exact whatever the order
        }
    }
    std::vector<float> levels;
    for (size_t v = 0; v < count.size(); ++v) {
        if (!onAFace[v]) levels.push_back(loose);
        else levels.push_back(count[v] > 0 ? 1.0f - sum[v] / static_cast<float>(count[v]) : 1.0f);
    }
    return levels;
}

// One colour vertex per vertex, all `colour`, colour faces = faces: an existing colour set.
void PrepareColours(Mesh& mesh, const Point3& colour) {
    PrepareVertexColors(mesh, false);
    for (auto& c : mesh.vertCol) c = colour;
}

bool IsCompletionReport(const std::string& text) {
    return std::regex_match(text, std::regex("Grit calculation complete\nelapsed time = [0-9]+ secs"));
}

std::set<int> AllFaces(const Mesh& mesh) {
    std::set<int> faces;
    for (int f = 0; f < mesh.getNumFaces(); ++f) faces.insert(f);
    return faces;
}

// Cancels at the first poll after the progress bar has shown `percent` (94 by default: index 100
// of a 250-vertex write-back; the workers' phase never shows more than 90).
class CancelAfterPercentHost : public TestHost {
public:
    explicit CancelAfterPercentHost(int percent = 94) : percent_(percent) {}
    void ProgressUpdate(int pct, BOOL showPct, const char* title) override {
        TestHost::ProgressUpdate(pct, showPct, title);
        if (pct == percent_) armed_ = true;
    }
    BOOL GetCancel() override {
        TestHost::GetCancel();
        return armed_ ? TRUE : FALSE;
    }

private:
    int percent_;
    bool armed_ = false;
};

// Lets a test act at each progress update of the run, before the host records it.
class HoldingHost : public TestHost {
public:
    std::function<void()> beforeProgressUpdate;
    void ProgressUpdate(int pct, BOOL showPct, const char* title) override {
        if (beforeProgressUpdate) beforeProgressUpdate();
        TestHost::ProgressUpdate(pct, showPct, title);
    }
};

// A host whose progress bar fails as soon as the workers' phase shows it.
class FailingProgressHost : public HoldingHost {
public:
    void ProgressUpdate(int, BOOL, const char*) override {
        if (beforeProgressUpdate) beforeProgressUpdate();
        throw std::runtime_error("progress bar gone");
    }
};

template <class Host>
class RunFixture : public ::testing::Test {
protected:
    RunFixture() {
        utility.settings.algorithm = ALGORITHM_VERTEX_COLORS;
        // The tests that hold workers or fail their starts count on two of them.
        utility.engine.threads = 2;
        SetVertexFaceEvaluator([this](const Mesh&, int face, const WorkerJob& job) {
            {
                std::lock_guard<std::mutex> lock(recordMutex);
                evaluations.emplace_back(job.index, face);
            }
            if (holdUntilStop) {
                // Keeps the worker busy until the run raises the stop flag (bounded, so a
                // broken run fails instead of hanging).
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
                while (!job.pool->StopRequested() && std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                heldWorkersReleased++;
            }
            return FaceValue(face);
        });
    }
    ~RunFixture() override {
        SetVertexFaceEvaluator({});
        SetThreadStartFailureHook({});
        SetRayBufferFailureHook({});
    }
    void Select(Object* object) {
        node = std::make_unique<TestNode>("mesh", object);
        host.selection = {node.get()};
    }
    // Waits (bounded) until the workers have begun `n` evaluations.
    void WaitForEvaluations(size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            {
                std::lock_guard<std::mutex> lock(recordMutex);
                if (evaluations.size() >= n) return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    std::set<int> EvaluatedFaces() {
        std::lock_guard<std::mutex> lock(recordMutex);
        std::set<int> faces;
        for (const auto& e : evaluations) faces.insert(e.second);
        return faces;
    }
    void ExpectCleanedUp() {
        EXPECT_EQ(utility.currentMesh, nullptr);
        EXPECT_EQ(vertexGritSums, nullptr);
        EXPECT_EQ(vertexGritSumCount, 0);
        EXPECT_EQ(utility.vertexNormals.Count(), 0);
        EXPECT_EQ(host.progressEnds, 1);
    }
    void ExpectChangeNotices() {
        ASSERT_EQ(node->notices.size(), 2u);
        EXPECT_EQ(node->notices[0].part, PART_GEOM);
        EXPECT_EQ(node->notices[1].part, PART_TOPO);
        for (const auto& n : node->notices) {
            EXPECT_EQ(n.message, 0x50);
            EXPECT_EQ(n.sclass, 0xFFFFFFF0u);
            EXPECT_EQ(n.interval.start, INT_MIN);
            EXPECT_EQ(n.interval.end, INT_MAX);
        }
    }
    void ExpectNothingStarted() {
        EXPECT_TRUE(host.progressTitles.empty());
        EXPECT_EQ(host.progressEnds, 0);
        EXPECT_TRUE(evaluations.empty());
        if (node) {
            EXPECT_TRUE(node->notices.empty());
        }
    }
    void ExpectLevels(const Mesh& mesh, const std::vector<float>& levels) {
        ASSERT_EQ(mesh.getNumVertCol(), static_cast<int>(levels.size()));
        for (size_t v = 0; v < levels.size(); ++v) {
            EXPECT_EQ(mesh.vertCol[v], Point3(levels[v], levels[v], levels[v])) << "vertex " << v;
        }
    }

    Host host;
    GritUtility utility;
    std::unique_ptr<TestNode> node;
    std::mutex recordMutex;
    std::vector<std::pair<int, int>> evaluations;  // (slot, face)
    bool holdUntilStop = false;
    std::atomic<int> heldWorkersReleased{0};
};

using VertexGritRunTest = RunFixture<HoldingHost>;

}  // namespace

TEST_F(VertexGritRunTest, NeedsExactlyOneSelectedNode) {
    utility.BuildVertexGrit();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Select exactly one node");
    EXPECT_EQ(host.boxes[0].caption, "Murkwell");
    EXPECT_EQ(host.boxes[0].type, MB_OK | MB_ICONINFORMATION);

    TestTriObject a, b;
    a.mesh = MakeUnitCube();
    TestNode na("a", &a), nb("b", &b);
    host.selection = {&na, &nb};
    utility.BuildVertexGrit();
    EXPECT_EQ(host.BoxTexts(), (std::vector<std::string>{"Select exactly one node", "Select exactly one node"}));
    EXPECT_EQ(a.mesh.getNumVertCol(), 0);
    EXPECT_TRUE(na.notices.empty());
    ExpectNothingStarted();
}

TEST_F(VertexGritRunTest, ObjectThatConvertsToACopyIsRefused) {
    TestConvertibleObject parametric;
    parametric.mesh = MakeUnitCube();
    Select(&parametric);
    utility.BuildVertexGrit();
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Object must be unmodified Editable Mesh");
    EXPECT_EQ(host.boxes[0].type, MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(parametric.copiesMade, 1);
    EXPECT_EQ(parametric.copiesDeleted, 1);
    EXPECT_EQ(parametric.mesh.getNumVertCol(), 0);
    ExpectNothingStarted();

    // The same object under a modifier wrapper: unwrapped, then refused the same way.
    TestWrapperObject wrapper(&parametric);
    Select(&wrapper);
    utility.BuildVertexGrit();
    EXPECT_EQ(host.boxes.back().text, "Object must be unmodified Editable Mesh");
    EXPECT_EQ(parametric.copiesDeleted, 2);
    ExpectNothingStarted();
}

TEST_F(VertexGritRunTest, ObjectWithoutATriangleMeshIsRefused) {
    TestUnconvertibleObject light;
    Select(&light);
    utility.BuildVertexGrit();
    EXPECT_EQ(host.BoxTexts(), (std::vector<std::string>{"Could not get TriObject"}));
    EXPECT_EQ(host.boxes[0].type, MB_OK | MB_ICONINFORMATION);

    TestConvertibleObject failing;
    failing.conversionYieldsNothing = true;
    Select(&failing);
    utility.BuildVertexGrit();
    EXPECT_EQ(host.boxes.back().text, "Could not get TriObject");
    ExpectNothingStarted();
}

TEST_F(VertexGritRunTest, ReplaceModeWritesOneGreyPerVertex) {
    TestTriObject tri;
    tri.mesh = CubeWithLooseVertex();
    Select(&tri);
    utility.BuildVertexGrit();

    const Mesh& mesh = tri.mesh;
    EXPECT_EQ(EvaluatedFaces(), AllFaces(mesh));
    EXPECT_EQ(evaluations.size(), 12u);
    ASSERT_EQ(mesh.getNumVertCol(), 9);
    ASSERT_EQ(mesh.getNumVCFaces(), 12);
    for (int f = 0; f < 12; ++f) {
        const Face& face = mesh.faces[static_cast<size_t>(f)];
        EXPECT_EQ(mesh.vcFace[static_cast<size_t>(f)], TVFace(face.v[0], face.v[1], face.v[2]));
    }
    const std::vector<float> levels = ExpectedLevels(mesh, AllFaces(mesh));
    EXPECT_EQ(levels[8], 0.0f);  // on no face: stays as reset
    ExpectLevels(mesh, levels);

    EXPECT_EQ(host.progressTitles, (std::vector<std::string>{"Building Vertex Grit"}));
    ASSERT_FALSE(host.progressUpdates.empty());
    EXPECT_EQ(host.progressUpdates.back(), 90);  // the write-back's first index
    for (int p : host.progressUpdates) EXPECT_LE(p, 90);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(IsCompletionReport(host.boxes[0].text)) << host.boxes[0].text;
    EXPECT_EQ(host.boxes[0].type, MB_OK);
    EXPECT_EQ(host.boxes[0].caption, "Murkwell");
    ExpectCleanedUp();
    ExpectChangeNotices();
    EXPECT_EQ(utility.faceNormals.Count(), 12);  // kept for the next run
    EXPECT_TRUE(host.assertions.empty());
}

TEST_F(VertexGritRunTest, WrappedEditableMeshIsColoured) {
    TestTriObject tri;
    tri.mesh = MakeUnitCube();
    TestWrapperObject wrapper(&tri);
    Select(&wrapper);
    utility.BuildVertexGrit();
    EXPECT_EQ(tri.mesh.getNumVertCol(), 8);
    ExpectLevels(tri.mesh, ExpectedLevels(tri.mesh, AllFaces(tri.mesh)));
    ExpectChangeNotices();
}

TEST_F(VertexGritRunTest, SelectedOnlyLeavesOtherVerticesWhiteOrUntouched) {
    TestTriObject tri;
    tri.mesh = CubeWithLooseVertex();
    tri.mesh.FaceSel().Set(0);  // the bottom quad: vertices 0, 1, 2, 3
    tri.mesh.FaceSel().Set(1);
    utility.settings.selectedOnly = 1;
    Select(&tri);
    utility.BuildVertexGrit();
    EXPECT_EQ(EvaluatedFaces(), (std::set<int>{0, 1}));
    const std::vector<float> levels = ExpectedLevels(tri.mesh, {0, 1});
    for (int v = 4; v < 8; ++v) EXPECT_EQ(levels[static_cast<size_t>(v)], 1.0f);  // white
    ExpectLevels(tri.mesh, levels);
    // The bar stops short of 90 in the workers' phase, at 2 of 12 faces at most; then the
    // write-back shows 90.
    ASSERT_FALSE(host.progressUpdates.empty());
    EXPECT_EQ(host.progressUpdates.back(), 90);
    for (size_t i = 0; i + 1 < host.progressUpdates.size(); ++i) EXPECT_LE(host.progressUpdates[i], 15);

    // Accumulate mode keeps the colours of vertices no selected face touches.
    TestTriObject tinted;
    tinted.mesh = CubeWithLooseVertex();
    tinted.mesh.FaceSel().Set(0);
    tinted.mesh.FaceSel().Set(1);
    PrepareColours(tinted.mesh, Point3(0.5f, 0.25f, 1.0f));
    utility.settings.addVertexColors = 1;
    Select(&tinted);
    utility.BuildVertexGrit();
    const std::vector<float> kept = ExpectedLevels(tri.mesh, {0, 1}, 1.0f);
    for (int v = 0; v < 9; ++v) {
        const float l = kept[static_cast<size_t>(v)];
        EXPECT_EQ(tinted.mesh.vertCol[static_cast<size_t>(v)], Point3(0.5f * l, 0.25f * l, 1.0f * l)) << v;
    }
}

TEST_F(VertexGritRunTest, AccumulatingTwiceMultipliesTwice) {
    TestTriObject tri;
    tri.mesh = MakeUnitCube();
    PrepareColours(tri.mesh, Point3(0.8f, 0.6f, 0.4f));
    const std::vector<TVFace> colourFaces = tri.mesh.vcFace;
    utility.settings.addVertexColors = 1;
    Select(&tri);
    utility.BuildVertexGrit();
    utility.BuildVertexGrit();
    const std::vector<float> levels = ExpectedLevels(tri.mesh, AllFaces(tri.mesh));
    ASSERT_EQ(tri.mesh.getNumVertCol(), 8);
    for (size_t v = 0; v < 8; ++v) {
        const float l = levels[v];
        EXPECT_EQ(tri.mesh.vertCol[v], Point3(0.8f * l * l, 0.6f * l * l, 0.4f * l * l)) << v;
    }
    EXPECT_EQ(tri.mesh.vcFace, colourFaces);
    EXPECT_EQ(host.boxes.size(), 2u);
    EXPECT_EQ(node->notices.size(), 4u);
}

TEST_F(VertexGritRunTest, AccumulatingOntoTooFewColoursStartsFromBlack) {
    TestTriObject tri;
    tri.mesh = MakeUnitCube();
    tri.mesh.setNumVertCol(7);
    for (auto& c : tri.mesh.vertCol) c = Point3(1.0f, 1.0f, 1.0f);
    tri.mesh.setNumVCFaces(12);
    utility.settings.addVertexColors = 1;
    Select(&tri);
    utility.BuildVertexGrit();
    ASSERT_EQ(tri.mesh.getNumVertCol(), 8);
    for (const auto& c : tri.mesh.vertCol) EXPECT_EQ(c, Point3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(tri.mesh.vcFace[5], TVFace(tri.mesh.faces[5].v[0], tri.mesh.faces[5].v[1], tri.mesh.faces[5].v[2]));
    EXPECT_EQ(evaluations.size(), 12u);
    EXPECT_EQ(host.boxes.size(), 1u);
}

TEST_F(VertexGritRunTest, MeshWithoutFacesStillReports) {
    TestTriObject tri;
    for (int i = 0; i < 4; ++i) AddVertex(tri.mesh, Point3(static_cast<float>(i), 0.0f, 0.0f));
    Select(&tri);
    utility.BuildVertexGrit();
    EXPECT_TRUE(evaluations.empty());
    ASSERT_EQ(tri.mesh.getNumVertCol(), 4);
    for (const auto& c : tri.mesh.vertCol) EXPECT_EQ(c, Point3(0.0f, 0.0f, 0.0f));  // as reset
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(IsCompletionReport(host.boxes[0].text));
    ExpectCleanedUp();
    ExpectChangeNotices();
}

// Both workers are held in their first face until the run raises the stop flag, and the host
// cancels at its first poll, so the cancel always lands in the workers' phase.
TEST_F(VertexGritRunTest, CancelWhileTheWorkersRun) {
    TestTriObject tri;
    tri.mesh = MakeUnitCube();
    Select(&tri);
    host.cancelAtPoll = 1;
    holdUntilStop = true;
    host.beforeProgressUpdate = [this] { WaitForEvaluations(2); };
    utility.BuildVertexGrit();

    // Each worker finished and stored its first face, then stopped.
    std::sort(evaluations.begin(), evaluations.end());
    EXPECT_EQ(evaluations, (std::vector<std::pair<int, int>>{{0, 0}, {1, 1}}));
    EXPECT_TRUE(host.boxes.empty());
    ASSERT_EQ(tri.mesh.getNumVertCol(), 8);
    for (const auto& c : tri.mesh.vertCol) EXPECT_EQ(c, Point3(0.0f, 0.0f, 0.0f));  // as reset
    ExpectCleanedUp();
    ExpectChangeNotices();
}

using VertexGritRunWriteBackCancelTest = RunFixture<CancelAfterPercentHost>;

// The write-back shows 94 at index 100 of 250; the cancel there leaves 0 ... 99 written.
TEST_F(VertexGritRunWriteBackCancelTest, CancelDuringTheWriteBackStillReports) {
    TestTriObject tri;
    for (int i = 0; i < 250; ++i) AddVertex(tri.mesh, Point3(static_cast<float>(i), static_cast<float>(i % 2), 0.0f));
    for (int f = 0; f + 2 < 250; ++f) AddFace(tri.mesh, f, f + 1, f + 2);
    Select(&tri);
    utility.BuildVertexGrit();

    ASSERT_EQ(tri.mesh.getNumVertCol(), 250);
    EXPECT_EQ(evaluations.size(), 248u);
    const std::vector<float> levels = ExpectedLevels(tri.mesh, AllFaces(tri.mesh));
    for (int v = 0; v < 250; ++v) {
        const float expected = v < 100 ? levels[static_cast<size_t>(v)] : 0.0f;
        EXPECT_EQ(tri.mesh.vertCol[static_cast<size_t>(v)], Point3(expected, expected, expected)) << v;
    }
    ASSERT_GE(host.progressUpdates.size(), 2u);
    EXPECT_EQ(host.progressUpdates[host.progressUpdates.size() - 2], 90);
    EXPECT_EQ(host.progressUpdates.back(), 94);
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_TRUE(IsCompletionReport(host.boxes[0].text));
    ExpectCleanedUp();
    ExpectChangeNotices();
}

TEST_F(VertexGritRunTest, WorkerThatCannotStartIsReportedAfterTheOtherStops) {
    TestTriObject tri;
    tri.mesh = MakeUnitCube();
    Select(&tri);
    holdUntilStop = true;  // the started worker keeps running until the run stops it
    // The second start fails only once the first worker is inside its first face, so the run
    // must stop a worker that is really running and wait for it.
    SetThreadStartFailureHook([this](int attempt) {
        if (attempt == 0) return false;
        WaitForEvaluations(1);
        return true;
    });
    utility.BuildVertexGrit();
    SetThreadStartFailureHook({});

    EXPECT_EQ(evaluations, (std::vector<std::pair<int, int>>{{0, 0}}));
    EXPECT_EQ(heldWorkersReleased.load(), 1);  // the run waited for it
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Could not start a worker thread");
    EXPECT_EQ(host.boxes[0].type, MB_OK | MB_ICONINFORMATION);
    ASSERT_EQ(tri.mesh.getNumVertCol(), 8);
    for (const auto& c : tri.mesh.vertCol) EXPECT_EQ(c, Point3(0.0f, 0.0f, 0.0f));  // reset, nothing written
    ExpectCleanedUp();
    ExpectChangeNotices();

    // No thread at all: same report, nothing evaluated.
    evaluations.clear();
    host.boxes.clear();
    SetThreadStartFailureHook([](int) { return true; });
    utility.BuildVertexGrit();
    SetThreadStartFailureHook({});
    EXPECT_TRUE(evaluations.empty());
    EXPECT_EQ(host.BoxTexts(), (std::vector<std::string>{"Could not start a worker thread"}));
    EXPECT_EQ(host.progressEnds, 2);
}

// A start that fails or throws at the first, a middle or the last of three workers: the workers
// already going (each held in its first face) are stopped and waited for, the user is told, the
// colours stay as prepared and everything is taken down.
TEST_F(VertexGritRunTest, WorkerStartThatFailsOrThrowsAnywhereEndsTheRunInOrder) {
    constexpr int kWorkers = 3;
    utility.engine.threads = kWorkers;
    holdUntilStop = true;
    TestTriObject tri;
    Select(&tri);
    for (const ThreadStartFault fault :
         {ThreadStartFault::kFail, ThreadStartFault::kThrowBadAlloc, ThreadStartFault::kThrowOther}) {
        for (int failing = 0; failing < kWorkers; ++failing) {
            SCOPED_TRACE(testing::Message() << "fault " << static_cast<int>(fault) << " at start " << failing);
            tri.mesh = MakeUnitCube();
            evaluations.clear();
            heldWorkersReleased.store(0);
            host.boxes.clear();
            host.progressEnds = 0;
            node->notices.clear();
            std::atomic<int> attempts{0};
            // The failing start comes only once the workers before it are inside their first
            // face, so the run must stop workers that really run.
            SetThreadStartFaultHook([&, fault, failing](int attempt) {
                attempts.fetch_add(1);
                if (attempt < failing) return ThreadStartFault::kNone;
                WaitForEvaluations(static_cast<size_t>(failing));
                return fault;
            });
            utility.BuildVertexGrit();
            SetThreadStartFaultHook({});

            EXPECT_EQ(attempts.load(), failing + 1);
            std::vector<std::pair<int, int>> started;
            for (int slot = 0; slot < failing; ++slot) started.emplace_back(slot, slot);
            std::sort(evaluations.begin(), evaluations.end());
            EXPECT_EQ(evaluations, started);
            EXPECT_EQ(heldWorkersReleased.load(), failing);  // the run waited for each of them
            EXPECT_EQ(host.BoxTexts(), (std::vector<std::string>{"Could not start a worker thread"}));
            ASSERT_EQ(tri.mesh.getNumVertCol(), 8);
            for (const auto& c : tri.mesh.vertCol) EXPECT_EQ(c, Point3(0.0f, 0.0f, 0.0f));  // reset, nothing written
            ExpectCleanedUp();
            ExpectChangeNotices();
        }
    }
}

// A worker without memory for its ray buffer: the run stops the others, writes no colours and
// says why.
TEST_F(VertexGritRunTest, RayBufferThatCannotBeHadEndsTheRunWithAMessage) {
    TestTriObject tri;
    tri.mesh = MakeUnitCube();
    PrepareColours(tri.mesh, Point3(0.5f, 0.5f, 0.5f));
    utility.settings.addVertexColors = 1;
    Select(&tri);
    SetRayBufferFailureHook([](int attempt) { return attempt == 1; });
    utility.BuildVertexGrit();
    SetRayBufferFailureHook({});
    EXPECT_EQ(host.BoxTexts(), (std::vector<std::string>{"Not enough memory for the ray spread"}));
    EXPECT_EQ(host.boxes[0].type, MB_OK | MB_ICONINFORMATION);
    for (const auto& c : tri.mesh.vertCol) EXPECT_EQ(c, Point3(0.5f, 0.5f, 0.5f));  // untouched
    EXPECT_TRUE(host.assertions.empty());
    ExpectCleanedUp();
    ExpectChangeNotices();
}

// A worker whose evaluation fails stops the run like a cancel, reported through the assertion
// hook, instead of colouring from part of the faces.
TEST_F(VertexGritRunTest, FailingWorkerStopsTheRun) {
    TestTriObject tri;
    tri.mesh = MakeUnitCube();
    Select(&tri);
    SetVertexFaceEvaluator([](const Mesh&, int face, const WorkerJob&) -> float {
        if (face == 3) throw std::bad_alloc();
        return 0.5f;
    });
    utility.BuildVertexGrit();
    ASSERT_EQ(host.assertions.size(), 1u);
    EXPECT_EQ(host.assertions[0].second, "VertexWorker");
    EXPECT_TRUE(host.boxes.empty());
    for (const auto& c : tri.mesh.vertCol) EXPECT_EQ(c, Point3(0.0f, 0.0f, 0.0f));  // as reset
    ExpectCleanedUp();
    ExpectChangeNotices();
}

using VertexGritRunFailingHostTest = RunFixture<FailingProgressHost>;

// A host call that throws in the workers' phase: the run stops and waits for its workers, takes
// everything down and reports, and nothing escapes to the caller.
TEST_F(VertexGritRunFailingHostTest, HostFailureMidRunIsContained) {
    TestTriObject tri;
    tri.mesh = MakeUnitCube();
    Select(&tri);
    holdUntilStop = true;
    host.beforeProgressUpdate = [this] { WaitForEvaluations(2); };
    EXPECT_NO_THROW(utility.BuildVertexGrit());
    ASSERT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.boxes[0].text, "Vertex grit failed: progress bar gone");
    EXPECT_EQ(evaluations.size(), 2u);
    ExpectCleanedUp();
    ExpectChangeNotices();
}

// The real evaluator end to end: each vertex's grey is 1 - the mean of the evaluator's values
// at the centroids of its faces.
TEST(VertexGritRunEvaluatorTest, ColoursFollowTheEvaluator) {
    TestHost host;
    GritUtility utility;
    utility.settings.algorithm = ALGORITHM_VERTEX_COLORS;
    utility.settings.dist = 3.0f;
    TestTriObject tri;
    tri.mesh = MakeOpenBox(2.0f);
    TestNode node("box", &tri);
    host.selection = {&node};
    utility.BuildVertexGrit();

    GritUtility reference;
    reference.settings = utility.settings;
    const Mesh& mesh = tri.mesh;
    reference.BuildFaceNormals(mesh);
    reference.vertexNormals.Build(mesh);
    std::vector<Ray> rays(static_cast<size_t>(reference.RayCount()));
    std::vector<double> sum(static_cast<size_t>(mesh.getNumVerts()), 0.0);
    std::vector<int> count(sum.size(), 0);
    const Point3 centroid(kCentroidWeight, kCentroidWeight, kCentroidWeight);
    for (int f = 0; f < mesh.getNumFaces(); ++f) {
        const float g = reference.EvaluateGrit(mesh, f, centroid, rays.data());
        for (int k = 0; k < 3; ++k) {
            sum[mesh.faces[static_cast<size_t>(f)].v[k]] += g;
            count[mesh.faces[static_cast<size_t>(f)].v[k]]++;
        }
    }
    ASSERT_EQ(mesh.getNumVertCol(), mesh.getNumVerts());
    bool anyGrey = false;
    for (size_t v = 0; v < sum.size(); ++v) {
        const double level = count[v] > 0 ? 1.0 - sum[v] / count[v] : 1.0;
        const Point3& c = mesh.vertCol[v];
        EXPECT_NEAR(c.x, level, 1e-6) << v;
        EXPECT_EQ(c.x, c.y);
        EXPECT_EQ(c.x, c.z);
        EXPECT_GT(c.x, 0.0f);
        anyGrey = anyGrey || c.x < 1.0f;
    }
    EXPECT_TRUE(anyGrey);
    EXPECT_EQ(host.boxes.size(), 1u);
    EXPECT_EQ(host.progressEnds, 1);
}
