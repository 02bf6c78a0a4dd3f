// The UV Map run's phases around its workers on several threads: the coverage filled in bands of
// rows and the two finishing passes give exactly the grids that one thread working through them in
// order gives, on inputs large enough to be split.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "plugin/GritUtility.h"
#include "tests/common/TestHost.h"
#include "tests/uvgrit/UvTestSupport.h"
#include "uvgrit/RasterizeChannel.h"

namespace {

bool SameRecord(const TexelRecord& a, const TexelRecord& b) {
    return a.faceIndex == b.faceIndex && std::memcmp(&a.weights, &b.weights, sizeof(Point3)) == 0 &&
           std::memcmp(&a.rawWeights, &b.rawWeights, sizeof(Point3)) == 0;
}

int DifferingRecords(const BArray<TexelRecord>& a, const BArray<TexelRecord>& b) {
    int n = 0;
    for (unsigned x = 0; x < a.ColumnCount(); ++x)
        for (unsigned y = 0; y < a.RowCount(); ++y) n += SameRecord(a.At(x, y), b.At(x, y)) ? 0 : 1;
    return n;
}

int DifferingValues(const BArray<float>& a, const BArray<float>& b) {
    int n = 0;
    for (unsigned x = 0; x < a.ColumnCount(); ++x)
        for (unsigned y = 0; y < a.RowCount(); ++y)
            n += std::bit_cast<std::uint32_t>(a.At(x, y)) != std::bit_cast<std::uint32_t>(b.At(x, y)) ? 1 : 0;
    return n;
}

// Many overlapping triangles of every size, some reaching just outside the unit square (wrapped
// or left out), some without area, with mixed materials and a partial selection.
Mesh OverlappingTriangles(int count) {
    Mesh mesh;
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> uv(-0.0008f, 1.0002f), small(-0.05f, 0.05f);
    mesh.setNumMapVerts(1, 3 * count);
    mesh.setNumFaces(count);
    mesh.setNumMapFaces(1, count);
    mesh.verts.resize(static_cast<size_t>(3 * count));
    for (int f = 0; f < count; ++f) {
        const float u0 = uv(rng), v0 = uv(rng);
        const bool large = f % 17 == 0;
        for (int k = 0; k < 3; ++k) {
            const float u = k == 0 || large ? uv(rng) : std::clamp(u0 + small(rng), -0.0008f, 1.0f);
            const float v = k == 0 || large ? uv(rng) : std::clamp(v0 + small(rng), -0.0008f, 1.0f);
            mesh.mapVerts(1)[3 * f + k] = f % 41 == 0 ? Point3(u0, v0, 0.0f) : Point3(u, v, 0.0f);
            mesh.verts[static_cast<size_t>(3 * f + k)] = Point3(u, v, 0.0f);
        }
        mesh.faces[static_cast<size_t>(f)].setVerts(3 * f, 3 * f + 1, 3 * f + 2);
        mesh.faces[static_cast<size_t>(f)].setMatID(static_cast<MtlID>(f % 5 == 0 ? 1 : 0));
        mesh.mapFaces(1)[f] = TVFace(DWORD(3 * f), DWORD(3 * f + 1), DWORD(3 * f + 2));
    }
    mesh.FaceSel().ClearAll();
    for (int f = 0; f < count; ++f)
        if (f % 7 != 3) mesh.FaceSel().Set(f);
    return mesh;
}

}  // namespace

TEST(UvPhaseThreads, CoverageInBandsIsTheCoverageOfOneFaceAfterAnother) {
    const Mesh mesh = OverlappingTriangles(1500);
    for (const bool filters : {false, true}) {
        GritUtility utility;
        utility.settings.mapChannel = 1;
        utility.settings.selectedOnly = filters ? 1 : 0;
        utility.settings.mtlIDOn = filters ? 1 : 0;
        utility.settings.mtlID = 1;

        // One thread, face after face, with the rasteriser itself.
        TestHost serialHost;
        BArray<TexelRecord> expected = EmptyGrid(211, 389);
        for (int f = 0; f < mesh.getNumFaces(); ++f) {
            serialHost.ProgressUpdate(static_cast<int>(100LL * f / mesh.getNumFaces()), TRUE, nullptr);
            if (filters && !mesh.FaceSel()[f]) continue;
            if (filters && mesh.faces[size_t(f)].getMatID() + 1 != 1) {
                DebugPrint("Face %d not included - mtlID %d\n", f, mesh.faces[size_t(f)].getMatID() + 1);
                continue;
            }
            const TVFace& tf = mesh.mapFaces(1)[f];
            utility.RasterizeUvFace(expected, mesh.mapVerts(1)[tf.t[0]], mesh.mapVerts(1)[tf.t[1]],
                                    mesh.mapVerts(1)[tf.t[2]], f);
        }
        ASSERT_GT(CoveredCount(expected), 211 * 389 / 2);

        for (int threads : {1, 2, 3, 8}) {
            SCOPED_TRACE(testing::Message() << threads << " threads" << (filters ? ", filtered" : ""));
            TestHost host;
            utility.texels = EmptyGrid(211, 389);
            EXPECT_TRUE(RasterizeChannel(utility, host, mesh, PhaseControl{threads, {}}));
            EXPECT_EQ(DifferingRecords(utility.texels, expected), 0);
            // The debug lines and the progress come in face order, as from one thread.
            EXPECT_EQ(host.debugLines, serialHost.debugLines);
            EXPECT_EQ(host.progressUpdates, serialHost.progressUpdates);
        }
    }
}

TEST(UvPhaseThreads, CancelledCoverageStopsEarly) {
    const Mesh mesh = OverlappingTriangles(3000);
    GritUtility utility;
    utility.settings.mapChannel = 1;
    TestHost host;
    utility.texels = EmptyGrid(64, 64);
    EXPECT_FALSE(RasterizeChannel(utility, host, mesh, PhaseControl{2, [] { return true; }}));
    EXPECT_LT(host.progressUpdates.size(), size_t(mesh.getNumFaces()));
}

namespace {
// The finishing passes as one thread makes them, row by row: the repair with its negated
// marks and the closing absolute value, then the dilation.
void SerialFinishingPasses(const BArray<TexelRecord>& texels, BArray<float>& values) {
    const int w = int(texels.ColumnCount()), h = int(texels.RowCount());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int face = texels.Get(x, y).faceIndex;
            if (face == -1 || !(values.Get(x, y) <= 0.1f)) continue;
            int bright = 0;
            float brightest = 0.0f;
            for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, h - 1); ++ny)
                for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, w - 1); ++nx) {
                    const float v = values.Get(nx, ny);
                    if (texels.Get(nx, ny).faceIndex != face || !(v >= 0.8f)) continue;
                    ++bright;
                    if (v > brightest) brightest = v;
                }
            if (bright >= 1) values.Set(x, y, -brightest);
        }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) values.Set(x, y, std::fabs(values.Get(x, y)));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (texels.Get(x, y).faceIndex != -1) continue;
            int covered = 0;
            float largest = 0.0f;
            for (int ny = std::max(y - 1, 0); ny <= std::min(y + 1, h - 1); ++ny)
                for (int nx = std::max(x - 1, 0); nx <= std::min(x + 1, w - 1); ++nx) {
                    if (texels.Get(nx, ny).faceIndex == -1) continue;
                    ++covered;
                    if (values.Get(nx, ny) > largest) largest = values.Get(nx, ny);
                }
            if (covered >= 1) values.Set(x, y, largest);
        }
    }
}
}  // namespace

TEST(UvPhaseThreads, FinishingPassesGiveTheGridOfOneThread) {
    // Patches of a few faces, dark and bright texels side by side, a few uncovered ones, and
    // values below zero and of -0, on a grid tall enough for many bands.
    constexpr int kW = 53, kH = 331;
    std::mt19937 rng(9);
    BArray<TexelRecord> texels = EmptyGrid(kW, kH);
    BArray<float> values;
    values.Resize(kW, kH, 0.0f);
    const float picks[] = {0.0f, -0.0f, 0.05f, 0.1f, 0.1000001f, 0.5f, 0.79999995f, 0.8f, 0.9f, 0.97f, -0.3f, -0.9f};
    for (int x = 0; x < kW; ++x) {
        for (int y = 0; y < kH; ++y) {
            TexelRecord r;
            r.faceIndex = rng() % 9 == 0 ? -1 : (x / 5 + y / 7 + int(rng() % 2)) % 4;
            texels.Set(x, y, r);
            values.Set(x, y, picks[rng() % (sizeof picks / sizeof picks[0])]);
        }
    }
    BArray<float> expected = values;
    SerialFinishingPasses(texels, expected);
    int repaired = 0, dilated = 0;
    for (int x = 0; x < kW; ++x) {
        for (int y = 0; y < kH; ++y) {
            const bool covered = texels.Get(x, y).faceIndex != -1;
            repaired += covered && values.Get(x, y) <= 0.1f && expected.Get(x, y) >= 0.8f ? 1 : 0;
            dilated += !covered && expected.Get(x, y) != values.Get(x, y) ? 1 : 0;
        }
    }
    ASSERT_GT(repaired, 50);  // both passes have real work here
    ASSERT_GT(dilated, 50);

    for (int threads : {1, 2, 3, 8}) {
        SCOPED_TRACE(testing::Message() << threads << " threads");
        TestHost host;
        GritUtility utility;
        utility.engine.threads = threads;
        utility.texels = texels;
        utility.gritValues = values;
        utility.RepairSpeckles();
        utility.DilateCoverage();
        EXPECT_EQ(DifferingValues(utility.gritValues, expected), 0);
        EXPECT_TRUE(host.assertions.empty());
    }
}
