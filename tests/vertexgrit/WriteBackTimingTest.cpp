#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <vector>

#include "tests/common/TestHost.h"
#include "tests/common/TestMeshes.h"
#include "tests/common/TestPaths.h"
#include "vertexgrit/VertexColors.h"

// The write-back on the largest shared mesh, without running the evaluator: the table is filled
// directly. Logs the time of the write-back alone, and checks the result, so a return to a
// per-index scan over all faces shows up as a run that never ends.
TEST(WriteBackTimingTest, LargestSharedMesh) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "timings under a sanitizer say nothing; the write-back's results are covered elsewhere";
#endif
    MURKWELL_REQUIRE_SHARED_MESH(path, "igea.obj");
    Mesh mesh;
    std::string error;
    ASSERT_TRUE(LoadTestObj(path, mesh, error)) << error;
    ASSERT_GT(mesh.getNumVerts(), 100000);

    for (const bool accumulate : {false, true}) {
        PrepareVertexColors(mesh, false);
        if (accumulate) {
            for (auto& c : mesh.vertCol) c = Point3(0.5f, 0.5f, 0.5f);
        }
        const int n = mesh.getNumVertCol();
        std::vector<VertexGritSum> table(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) table[static_cast<size_t>(i)] = {1 + i % 6, 0.125f * static_cast<float>(i % 6)};

        TestHost host;
        const auto start = std::chrono::steady_clock::now();
        const int written = WriteVertexColors(mesh, table.data(), n, accumulate, host);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        std::printf("[ timing   ] vertex colour write-back, %s mode: %d colour vertices, %d faces: %.1f ms\n",
                    accumulate ? "accumulate" : "replace", n, mesh.getNumFaces(), ms);

        EXPECT_EQ(written, n);
        EXPECT_EQ(static_cast<int>(host.progressUpdates.size()), (n + 99) / 100);
        // After the reset colour i belongs to vertex i: its level, or half of it when multiplied.
        int wrong = 0;
        for (int i = 0; i < n; ++i) {
            const float level = 1.0f - (0.125f * static_cast<float>(i % 6)) / static_cast<float>(1 + i % 6);
            const float expected = accumulate ? 0.5f * level : level;
            if (mesh.vertCol[static_cast<size_t>(i)] != Point3(expected, expected, expected)) wrong++;
        }
        EXPECT_EQ(wrong, 0);
    }
}
