// The normal tables built on several threads are the tables one thread builds: every face normal
// and every vertex's chain (its nodes in order, their normals bit for bit, their groups), on a
// mesh large enough to be split, with smoothing groups of every kind.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <vector>

#include "plugin/GritUtility.h"
#include "raycast/VertexNormalTable.h"
#include "tests/common/TestHost.h"

namespace {
struct NodeImage {
    std::uint32_t x, y, z, groups;
    int used;
    bool operator==(const NodeImage&) const = default;
};

std::vector<std::vector<NodeImage>> Chains(const VertexNormalTable& table) {
    std::vector<std::vector<NodeImage>> chains(static_cast<size_t>(table.Count()));
    for (int v = 0; v < table.Count(); ++v)
        for (const VertexNormalNode* n = table.Head(v); n; n = n->next)
            chains[size_t(v)].push_back({std::bit_cast<std::uint32_t>(n->normal.x), std::bit_cast<std::uint32_t>(n->normal.y),
                                         std::bit_cast<std::uint32_t>(n->normal.z), n->smGroups, n->used});
    return chains;
}

// Random triangles over 30000 vertices, most of them around a few hubs, with no group, one
// group or several, and a few corners that name the same vertex twice.
Mesh TangledMesh() {
    Mesh mesh;
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> coord(-5.0f, 5.0f);
    for (int v = 0; v < 30000; ++v) mesh.verts.emplace_back(coord(rng), coord(rng), coord(rng));
    const DWORD groups[] = {0, 1, 2, 3, 4, 6, 8, 0x80000000u, 5};
    mesh.setNumFaces(60000);
    for (Face& f : mesh.faces) {
        const int a = static_cast<int>(rng() % 64), b = static_cast<int>(rng() % 30000);
        const int c = rng() % 50 == 0 ? a : static_cast<int>(rng() % 30000);
        f.setVerts(a, b, c);
        f.setSmGroup(groups[rng() % (sizeof groups / sizeof groups[0])]);
    }
    return mesh;
}
}  // namespace

TEST(NormalTablesThreads, VertexChainsAreTheSameForEveryThreadCount) {
    const Mesh mesh = TangledMesh();
    VertexNormalTable table;
    ASSERT_TRUE(table.Build(mesh, PhaseControl{1, {}}));
    const auto expected = Chains(table);
    size_t longest = 0;
    for (const auto& c : expected) longest = std::max(longest, c.size());
    ASSERT_GT(longest, 10u);  // the hubs have long chains
    for (int threads : {2, 3, 8}) {
        SCOPED_TRACE(threads);
        ASSERT_TRUE(table.Build(mesh, PhaseControl{threads, {}}));
        EXPECT_TRUE(Chains(table) == expected);
    }
    // A build stopped early leaves an empty table.
    EXPECT_FALSE(table.Build(mesh, PhaseControl{2, [] { return true; }}));
    EXPECT_EQ(table.Count(), 0);
}

TEST(NormalTablesThreads, FaceNormalsAreTheSameForEveryThreadCount) {
    TestHost host;
    const Mesh mesh = TangledMesh();
    GritUtility one;
    one.engine.threads = 1;
    one.BuildFaceNormals(mesh);
    for (int threads : {2, 3, 8}) {
        SCOPED_TRACE(threads);
        GritUtility many;
        many.engine.threads = threads;
        many.BuildFaceNormals(mesh);
        ASSERT_EQ(many.faceNormals.Count(), mesh.getNumFaces());
        int differing = 0;
        for (int f = 0; f < mesh.getNumFaces(); ++f) {
            const Point3 a = one.faceNormals[f], b = many.faceNormals[f];
            differing += std::bit_cast<std::uint32_t>(a.x) != std::bit_cast<std::uint32_t>(b.x) ||
                                 std::bit_cast<std::uint32_t>(a.y) != std::bit_cast<std::uint32_t>(b.y) ||
                                 std::bit_cast<std::uint32_t>(a.z) != std::bit_cast<std::uint32_t>(b.z)
                             ? 1
                             : 0;
        }
        EXPECT_EQ(differing, 0);
    }
    EXPECT_TRUE(host.assertions.empty());
}
