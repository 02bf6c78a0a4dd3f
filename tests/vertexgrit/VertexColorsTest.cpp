#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "tests/common/TestHost.h"
#include "tests/common/TestMeshes.h"
#include "tests/vertexgrit/LiteralWriteBack.h"
#include "vertexgrit/VertexColors.h"
#include "vertexgrit/VertexGritProgress.h"

namespace {

// n vertices on a line, no faces.
Mesh PointsMesh(int n) {
    Mesh mesh;
    for (int i = 0; i < n; ++i) AddVertex(mesh, Point3(static_cast<float>(i), 0.0f, 0.0f));
    return mesh;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void ExpectSameColours(const Mesh& actual, const Mesh& expected) {
    ASSERT_EQ(actual.getNumVertCol(), expected.getNumVertCol());
    for (int c = 0; c < actual.getNumVertCol(); ++c) {
        const Point3& a = actual.vertCol[static_cast<size_t>(c)];
        const Point3& e = expected.vertCol[static_cast<size_t>(c)];
        EXPECT_TRUE(SameBits(a.x, e.x) && SameBits(a.y, e.y) && SameBits(a.z, e.z))
            << "colour vertex " << c << ": (" << a.x << ", " << a.y << ", " << a.z << ") vs (" << e.x << ", "
            << e.y << ", " << e.z << ")";
    }
}

// Runs the linear write-back and the direct loop on copies of the same mesh and table and checks
// that colours, stored levels, return values and progress calls all agree.
void ExpectMatchesLiteral(const Mesh& mesh, const std::vector<VertexGritSum>& table, bool accumulate) {
    Mesh linearMesh = mesh, literalMesh = mesh;
    std::vector<VertexGritSum> linearTable = table, literalTable = table;
    std::vector<int> linearProgress, literalProgress;
    int linearWritten = 0, literalWritten = 0;
    {
        TestHost host;
        linearWritten = WriteVertexColors(linearMesh, linearTable.data(), static_cast<int>(linearTable.size()),
                                          accumulate, host);
        linearProgress = host.progressUpdates;
        EXPECT_TRUE(host.assertions.empty());
    }
    {
        TestHost host;
        literalWritten = LiteralWriteVertexColors(literalMesh, literalTable.data(), accumulate, host);
        literalProgress = host.progressUpdates;
    }
    EXPECT_EQ(linearWritten, literalWritten);
    EXPECT_EQ(linearProgress, literalProgress);
    ExpectSameColours(linearMesh, literalMesh);
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_TRUE(SameBits(linearTable[i].sum, literalTable[i].sum)) << "record " << i;
    }
}

// A small mesh whose colour channel exercises every sharing case:
//   vertices 0..4, faces (0,1,2) (0,2,3) (0,3,4) (1,4,2);
//   colour vertex 0 is carried by vertex 0 at the corners of faces 0 and 1 (same vertex twice)
//   and by vertex 3 in face 2 (a second vertex), colour vertex 5 by vertices 1 and 4,
//   the other corners have colour vertices of their own.
Mesh SharedColourMesh() {
    Mesh mesh = PointsMesh(5);
    AddFace(mesh, 0, 1, 2);
    AddFace(mesh, 0, 2, 3);
    AddFace(mesh, 0, 3, 4);
    AddFace(mesh, 1, 4, 2);
    mesh.setNumVertCol(8);
    mesh.setNumVCFaces(4);
    mesh.vcFace[0] = TVFace(0, 5, 1);
    mesh.vcFace[1] = TVFace(0, 2, 3);
    mesh.vcFace[2] = TVFace(4, 0, 6);
    mesh.vcFace[3] = TVFace(5, 5, 7);
    for (int c = 0; c < 8; ++c) {
        const float t = static_cast<float>(c + 1);
        mesh.vertCol[static_cast<size_t>(c)] = Point3(0.9f / t + 0.01f, 0.7f / t + 0.03f, 0.3f + 0.07f * t);
    }
    return mesh;
}

std::vector<VertexGritSum> SharedColourTable() {
    // Records for vertices 0..4 and for the three colour indices beyond the vertices.
    return {{3, 0.7f}, {2, 0.3f}, {3, 1.1f}, {2, 0.45f}, {2, 0.13f}, {0, 0.0f}, {0, 0.0f}, {0, 0.0f}};
}

}  // namespace

TEST(VertexColorsTest, ReplaceModeResetsToOneBlackColourPerVertex) {
    Mesh mesh = PointsMesh(4);
    AddFace(mesh, 0, 1, 2);
    AddFace(mesh, 2, 1, 3);
    mesh.setNumVertCol(9);  // more than the vertices: replace mode still resets
    for (auto& c : mesh.vertCol) c = Point3(0.5f, 0.5f, 0.5f);
    mesh.setNumVCFaces(2);
    mesh.vcFace[0] = TVFace(7, 8, 6);

    EXPECT_TRUE(PrepareVertexColors(mesh, false));
    ASSERT_EQ(mesh.getNumVertCol(), 4);
    ASSERT_EQ(mesh.getNumVCFaces(), 2);
    for (const auto& c : mesh.vertCol) EXPECT_EQ(c, Point3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(mesh.vcFace[0], TVFace(0, 1, 2));
    EXPECT_EQ(mesh.vcFace[1], TVFace(2, 1, 3));
}

TEST(VertexColorsTest, AccumulateKeepsAFullColourSetAndResetsAShortOne) {
    Mesh full = SharedColourMesh();
    const Mesh before = full;
    EXPECT_FALSE(PrepareVertexColors(full, true));
    ExpectSameColours(full, before);
    for (int f = 0; f < 4; ++f) EXPECT_EQ(full.vcFace[static_cast<size_t>(f)], before.vcFace[static_cast<size_t>(f)]);

    Mesh shortSet = SharedColourMesh();
    shortSet.setNumVertCol(4, 1);  // one fewer than the vertices
    EXPECT_TRUE(PrepareVertexColors(shortSet, true));
    ASSERT_EQ(shortSet.getNumVertCol(), 5);
    for (const auto& c : shortSet.vertCol) EXPECT_EQ(c, Point3(0.0f, 0.0f, 0.0f));
    EXPECT_EQ(shortSet.vcFace[3], TVFace(1, 4, 2));

    Mesh noFaces = PointsMesh(3);
    EXPECT_TRUE(PrepareVertexColors(noFaces, true));
    EXPECT_EQ(noFaces.getNumVertCol(), 3);
    EXPECT_EQ(noFaces.getNumVCFaces(), 0);
}

TEST(VertexColorsTest, LevelIsOneMinusTheClampedAverage) {
    VertexGritSum r{2, 0.5f};
    EXPECT_EQ(VertexColorLevel(r), 0.75f);
    EXPECT_EQ(r.sum, 0.75f);  // stored back

    VertexGritSum untouched{0, 0.0f};
    EXPECT_EQ(VertexColorLevel(untouched), 1.0f);
    VertexGritSum noCount{0, 0.25f};  // nothing to divide by: the sum is used as it is
    EXPECT_EQ(VertexColorLevel(noCount), 0.75f);
    VertexGritSum over{2, 3.0f};
    EXPECT_EQ(VertexColorLevel(over), 0.0f);
    VertexGritSum negative{1, -0.5f};
    EXPECT_EQ(VertexColorLevel(negative), 1.0f);
    VertexGritSum nan{1, std::numeric_limits<float>::quiet_NaN()};
    EXPECT_EQ(VertexColorLevel(nan), 1.0f);
    VertexGritSum third{3, 0.99f + 0.5f + 0.25f};
    EXPECT_EQ(VertexColorLevel(third), 1.0f - (0.99f + 0.5f + 0.25f) / 3.0f);
}

TEST(VertexColorsTest, SharedColourVerticesMultiplyOncePerVertex) {
    const Mesh mesh = SharedColourMesh();
    Mesh m = mesh;
    std::vector<VertexGritSum> table = SharedColourTable();
    TestHost host;
    EXPECT_EQ(WriteVertexColors(m, table.data(), static_cast<int>(table.size()), true, host), 8);

    std::vector<VertexGritSum> levels = SharedColourTable();
    std::vector<float> v;
    for (auto& r : levels) v.push_back(VertexColorLevel(r));
    // Colour 0: vertex 0 (two corners, once) then vertex 3.
    const Point3 c0 = mesh.vertCol[0];
    EXPECT_EQ(m.vertCol[0], Point3(c0.x * v[0] * v[3], c0.y * v[0] * v[3], c0.z * v[0] * v[3]));
    // Colour 5: vertex 1 in face 0, and vertex 4 in face 3 where it also covers vertex 1 again.
    const Point3 c5 = mesh.vertCol[5];
    EXPECT_EQ(m.vertCol[5], Point3(c5.x * v[1] * v[4], c5.y * v[1] * v[4], c5.z * v[1] * v[4]));
    // Colour 1 belongs to vertex 2 alone.
    const Point3 c1 = mesh.vertCol[1];
    EXPECT_EQ(m.vertCol[1], Point3(c1.x * v[2], c1.y * v[2], c1.z * v[2]));
}

TEST(VertexColorsTest, ReplaceModeLeavesTheLastVertexLevel) {
    Mesh m = SharedColourMesh();
    std::vector<VertexGritSum> table = SharedColourTable();
    TestHost host;
    WriteVertexColors(m, table.data(), static_cast<int>(table.size()), false, host);
    std::vector<VertexGritSum> levels = SharedColourTable();
    const float v3 = VertexColorLevel(levels[3]);
    const float v4 = VertexColorLevel(levels[4]);
    EXPECT_EQ(m.vertCol[0], Point3(v3, v3, v3));  // vertex 0 first, vertex 3 last
    EXPECT_EQ(m.vertCol[5], Point3(v4, v4, v4));
}

TEST(VertexColorsTest, LinearWriteBackMatchesTheDirectLoopOnSharedColours) {
    ExpectMatchesLiteral(SharedColourMesh(), SharedColourTable(), true);
    ExpectMatchesLiteral(SharedColourMesh(), SharedColourTable(), false);
}

TEST(VertexColorsTest, LinearWriteBackMatchesTheDirectLoopOnRandomChannels) {
    std::mt19937 rng(12345);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int round = 0; round < 4; ++round) {
        const int verts = 150 + 60 * round;
        Mesh mesh = PointsMesh(verts);
        std::uniform_int_distribution<int> vertex(0, verts - 1);
        const int faces = 2 * verts;
        for (int f = 0; f < faces; ++f) AddFace(mesh, vertex(rng), vertex(rng), vertex(rng));
        // Odd rounds: per-corner colour vertices (more colours than vertices), some shared at
        // random; even rounds: the reset layout, one colour per vertex.
        const bool perCorner = round % 2 == 1;
        if (perCorner) {
            const int colours = verts + faces;
            mesh.setNumVertCol(colours);
            mesh.setNumVCFaces(faces);
            std::uniform_int_distribution<int> colour(0, colours - 1);
            for (int f = 0; f < faces; ++f) mesh.vcFace[static_cast<size_t>(f)] = TVFace(colour(rng), colour(rng), colour(rng));
        } else {
            PrepareVertexColors(mesh, false);
        }
        for (auto& c : mesh.vertCol) c = Point3(unit(rng), unit(rng), unit(rng));

        std::vector<VertexGritSum> table(static_cast<size_t>(mesh.getNumVertCol()));
        for (int i = 0; i < verts; ++i) {
            const int n = i % 7;
            float s = 0.0f;
            for (int k = 0; k < n; ++k) s += 0.99f * unit(rng);
            table[static_cast<size_t>(i)] = {n, s};
        }
        SCOPED_TRACE(round);
        ExpectMatchesLiteral(mesh, table, true);
        ExpectMatchesLiteral(mesh, table, false);
    }
}

TEST(VertexColorsTest, ProgressAndCancelDuringTheWriteBack) {
    EXPECT_EQ(WriteBackPercent(0, 250), 90);
    EXPECT_EQ(WriteBackPercent(100, 250), 94);
    EXPECT_EQ(WriteBackPercent(200, 250), 98);
    EXPECT_EQ(WriteBackPercent(2000000000, 2100000000), 99);  // no overflow for huge meshes
    EXPECT_EQ(WorkerPhasePercent(500.0f / 1000.0f), 45);
    EXPECT_EQ(WorkerPhasePercent(1.0f), 90);
    EXPECT_EQ(WorkerPhasePercent(0.0111f), 0);

    Mesh mesh = PointsMesh(250);
    for (int i = 0; i + 2 < 250; ++i) AddFace(mesh, i, i + 1, i + 2);
    PrepareVertexColors(mesh, false);
    std::vector<VertexGritSum> table(250, VertexGritSum{1, 0.25f});
    {
        TestHost host;
        Mesh m = mesh;
        std::vector<VertexGritSum> t = table;
        EXPECT_EQ(WriteVertexColors(m, t.data(), 250, false, host), 250);
        EXPECT_EQ(host.progressUpdates, (std::vector<int>{90, 94, 98}));
        EXPECT_EQ(host.cancelPolls, 250);
        for (const auto& c : m.vertCol) EXPECT_EQ(c, Point3(0.75f, 0.75f, 0.75f));
    }
    {
        TestHost host;
        host.cancelAtPoll = 151;  // the poll of index 150
        Mesh m = mesh;
        std::vector<VertexGritSum> t = table;
        EXPECT_EQ(WriteVertexColors(m, t.data(), 250, false, host), 150);
        EXPECT_EQ(host.progressUpdates, (std::vector<int>{90, 94}));
        for (int i = 0; i < 250; ++i) {
            const float expected = i < 150 ? 0.75f : 0.0f;
            EXPECT_EQ(m.vertCol[static_cast<size_t>(i)], Point3(expected, expected, expected)) << i;
        }
    }
}

TEST(VertexColorsTest, BrokenColourChannelIsReportedAndLeftAlone) {
    Mesh mesh = PointsMesh(3);
    AddFace(mesh, 0, 1, 2);
    AddFace(mesh, 2, 1, 0);
    mesh.setNumVertCol(3);
    mesh.setNumVCFaces(1);  // the second face has no colour face
    mesh.vcFace[0] = TVFace(0, 1, 9);  // colour vertex 9 does not exist
    for (auto& c : mesh.vertCol) c = Point3(1.0f, 1.0f, 1.0f);
    std::vector<VertexGritSum> table(3, VertexGritSum{1, 0.5f});

    TestHost host;
    EXPECT_EQ(WriteVertexColors(mesh, table.data(), 3, false, host), 3);
    EXPECT_EQ(host.assertions.size(), 2u);
    for (const auto& a : host.assertions) EXPECT_EQ(a.second, "VertexColors");
    EXPECT_EQ(mesh.vertCol[0], Point3(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(mesh.vertCol[1], Point3(0.5f, 0.5f, 0.5f));
    EXPECT_EQ(mesh.vertCol[2], Point3(1.0f, 1.0f, 1.0f));  // only the broken corner named it

    // A table shorter than the colour channel: the indices without a record stay as they are.
    TestHost host2;
    Mesh m2 = PointsMesh(3);
    AddFace(m2, 0, 1, 2);
    PrepareVertexColors(m2, false);
    std::vector<VertexGritSum> shortTable(2, VertexGritSum{0, 0.0f});
    EXPECT_EQ(WriteVertexColors(m2, shortTable.data(), 2, false, host2), 3);
    EXPECT_EQ(host2.assertions.size(), 1u);
    EXPECT_EQ(m2.vertCol[1], Point3(1.0f, 1.0f, 1.0f));
    EXPECT_EQ(m2.vertCol[2], Point3(0.0f, 0.0f, 0.0f));
}
