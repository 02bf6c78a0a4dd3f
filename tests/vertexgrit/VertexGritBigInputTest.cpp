// The Vertex Colors run on a mesh of five million triangles: it starts, shows its progress,
// stops within a second of the user's cancel wherever that comes, and stays within its memory
// figure (64 bytes per triangle and 40 MiB on top of the mesh).
//
// The workers cast with the plain scan: the accelerated query's tree is built in one piece that
// these tests do not time (the benchmarks measure it), and a cancel can only be seen once it is
// built. The plain scan keeps one evaluation short enough at the default spread.
#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "plugin/GritUtility.h"
#include "tests/common/ProcessMemory.h"
#include "tests/common/TestHost.h"

namespace {
using Clock = std::chrono::steady_clock;

constexpr int kCells = 1582;  // 2 x 1582^2 = 5,005,448 triangles
constexpr std::size_t kMiB = 1024 * 1024;

// A wavy sheet of kCells x kCells squares, two triangles each, built in place without growing.
void MakeBigSheet(Mesh& mesh) {
    const int row = kCells + 1;
    mesh.verts.reserve(static_cast<size_t>(row) * row);
    for (int y = 0; y <= kCells; ++y)
        for (int x = 0; x <= kCells; ++x)
            mesh.verts.emplace_back(float(x), float(y), 0.4f * std::sin(0.7f * float(x)) * std::cos(0.5f * float(y)));
    mesh.setNumFaces(2 * kCells * kCells);
    size_t f = 0;
    for (int y = 0; y < kCells; ++y) {
        for (int x = 0; x < kCells; ++x) {
            const int a = y * row + x, b = a + 1, c = a + row + 1, d = a + row;
            mesh.faces[f].setVerts(a, b, c);
            mesh.faces[f++].setSmGroup(1);
            mesh.faces[f].setVerts(a, c, d);
            mesh.faces[f++].setSmGroup(1);
        }
    }
}

// Presses cancel a set time after the progress display starts, or after the first progress
// update, and notes when.
class CancellingHost : public TestHost {
public:
    enum class PressAfter { kProgressStart, kFirstUpdate };
    CancellingHost(PressAfter after, std::chrono::milliseconds delay) : after_(after), delay_(delay) {
        cancelWhen = [this] { return pressAt_.load() != Clock::time_point{} && Clock::now() >= pressAt_.load(); };
    }
    void ProgressStart(const char* title, BOOL show, LPTHREAD_START_ROUTINE fn, LPVOID arg) override {
        TestHost::ProgressStart(title, show, fn, arg);
        if (after_ == PressAfter::kProgressStart) pressAt_.store(Clock::now() + delay_);
    }
    void ProgressUpdate(int pct, BOOL show, const char* title) override {
        TestHost::ProgressUpdate(pct, show, title);
        if (after_ == PressAfter::kFirstUpdate && pressAt_.load() == Clock::time_point{}) pressAt_.store(Clock::now() + delay_);
    }
    Clock::time_point PressedAt() const { return pressAt_.load(); }

private:
    PressAfter after_;
    std::chrono::milliseconds delay_;
    std::atomic<Clock::time_point> pressAt_{Clock::time_point{}};
};

class BigVertexMesh : public testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "five million triangles are too heavy for a sanitizer build";
#endif
        MakeBigSheet(object.mesh);
        utility.settings.algorithm = ALGORITHM_VERTEX_COLORS;
        utility.settings.dist = 3.0f;
        utility.engine.reference = true;
        utility.engine.threads = 2;
    }
    // Runs the bake on `host`; returns the seconds from the press to the end of the run.
    double BakeAndCancel(CancellingHost& host) {
        TestNode node("sheet", &object);
        host.selection = {&node};
        utility.BuildVertexGrit();
        const Clock::time_point end = Clock::now();
        EXPECT_NE(host.PressedAt(), Clock::time_point{});
        EXPECT_LE(host.PressedAt(), end) << "the run ended before the cancel";
        EXPECT_TRUE(host.boxes.empty());  // no completion report after a cancel
        EXPECT_EQ(host.progressEnds, 1);
        EXPECT_EQ(node.notices.size(), 2u);
        EXPECT_EQ(utility.vertexNormals.Count(), 0);
        return std::chrono::duration<double>(end - host.PressedAt()).count();
    }

    GritUtility utility;
    TestTriObject object;
};

}  // namespace

TEST_F(BigVertexMesh, ShowsProgressAndStopsWithinASecondOfACancelInItsMemory) {
    const std::size_t triangles = object.mesh.faces.size();
    ASSERT_GE(triangles, 5000000u);
    // Memory an earlier test in this process freed must not hide what this run takes.
    malloc_trim(0);
    ASSERT_TRUE(ResetPeakResident());
    const std::size_t before = ResidentBytes();

    CancellingHost host(CancellingHost::PressAfter::kFirstUpdate, std::chrono::milliseconds(300));
    const double latency = BakeAndCancel(host);
    const std::size_t peak = PeakResidentBytes();
    EXPECT_LT(latency, 1.0);
    ASSERT_FALSE(host.progressUpdates.empty());
    EXPECT_EQ(host.progressTitles, std::vector<std::string>{"Building Vertex Grit"});
    // Cancelled in the workers' phase: the colours stay as the preparation reset them.
    ASSERT_EQ(object.mesh.getNumVertCol(), object.mesh.getNumVerts());
    EXPECT_EQ(object.mesh.vertCol.front(), Point3());
    EXPECT_EQ(object.mesh.vertCol.back(), Point3());

    const std::size_t budget = 64 * triangles + 40 * kMiB;
    ASSERT_GT(peak, before);
    EXPECT_LE(peak - before, budget) << (peak - before) / kMiB << " MiB over the mesh, budget " << budget / kMiB << " MiB";
    std::printf("[ measure  ] %zu triangles: %.0f ms from cancel to end, %.1f bytes per triangle over the mesh\n",
                triangles, latency * 1000.0, double(peak - before) / double(triangles));
}

TEST_F(BigVertexMesh, CancelDuringThePreparationStopsItWithinASecond) {
    // Pressed while the normals are being built: the run ends without starting its workers.
    CancellingHost host(CancellingHost::PressAfter::kProgressStart, std::chrono::milliseconds(10));
    const double latency = BakeAndCancel(host);
    EXPECT_LT(latency, 1.0);
    std::printf("[ measure  ] cancel %s: %.0f ms to the end\n",
                object.mesh.getNumVertCol() == 0 ? "during the preparation" : "after the preparation", latency * 1000.0);
}
